# The configuration of a product folder: refused without a vendor key unless
# the unsigned opt-out is on, refused with the demo key outside the demo.
#   cmake -DSOURCE_DIR=<repository> -DWORK_DIR=<scratch folder> -P product_key_test.cmake
if(PRODUCT_DIR)
  # One configuration, in a process of its own.
  include("${SOURCE_DIR}/cmake/ProductResources.cmake")
  check_product_key("${PRODUCT_DIR}")
  return()
endif()

function(expect what product_dir succeeds pattern)
  execute_process(COMMAND "${CMAKE_COMMAND}" -DSOURCE_DIR=${SOURCE_DIR} -DPRODUCT_DIR=${product_dir} ${ARGN}
    -P "${CMAKE_CURRENT_LIST_FILE}" RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  set(ok FALSE)
  if(result EQUAL 0)
    set(ok TRUE)
  endif()
  if(NOT ok STREQUAL succeeds)
    message(SEND_ERROR "${what}: ended with ${result}\n${out}")
  endif()
  if(NOT out MATCHES "${pattern}")
    message(SEND_ERROR "${what}: no \"${pattern}\" in\n${out}")
  endif()
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/keyless" "${WORK_DIR}/demo_copy" "${WORK_DIR}/own")
file(COPY "${SOURCE_DIR}/resources/demo/package.pub" DESTINATION "${WORK_DIR}/demo_copy")
# The demo key's body under another note and line breaks is still the demo key.
file(READ "${SOURCE_DIR}/resources/demo/package.pub" demo)
string(REGEX MATCH "-----BEGIN.*" demo "${demo}")
string(REPLACE "\n" "\r\n" demo "${demo}")
file(WRITE "${WORK_DIR}/demo_copy/package.pub" "My product\r\n${demo}")
file(WRITE "${WORK_DIR}/own/package.pub" "-----BEGIN PUBLIC KEY-----\n"
  "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEyXLtNd2zCnpc2LUKgm8jMbUTv9+R\n"
  "eZz6Wf5CK4ZlDQO7Gzu3r8C4TaSLiwVn5MkRGQ+sv/3Uk6E7/dkBDIl5Eg==\n-----END PUBLIC KEY-----\n")

expect("no key" "${WORK_DIR}/keyless" FALSE "administrator rights")
expect("no key, opted out" "${WORK_DIR}/keyless" TRUE "CMake Warning" -DINSTALLER_ALLOW_UNSIGNED_PACKAGES=ON)
expect("copy of the demo key" "${WORK_DIR}/demo_copy" FALSE "demo product's key")
expect("demo key, demo folder" "${SOURCE_DIR}/resources/demo" TRUE "")
expect("own key" "${WORK_DIR}/own" TRUE "")
