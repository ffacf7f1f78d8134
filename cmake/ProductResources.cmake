# Embeds a product folder into an executable as resources of type "file":
#   config.json -> CONFIGFILE, package.zip -> ZIPFILE, NAME.png -> NAME,
#   package.pub (the vendor's public key) -> PACKAGEKEY,
#   framework-signers.txt (who may sign the framework installer) -> FRAMEWORKSIGNERS,
#   package-policy.json (which signed packages pass) -> PACKAGEPOLICY
# together with the application manifest. PACKAGE names a package archive
# made by the build to embed instead of the folder's own package.zip.
# UNSIGNED leaves the key out: an installer that checks no signature, for
# tests and benchmarks only.
# The demo product pins the framework stand-in's signer, the test
# certificate of this build folder, with a list the build writes.

string(CONCAT UNSIGNED_BUILD_WARNING "the product folder holds no package.pub: this installer extracts any package "
  "it is handed over plain HTTP and runs its after-install files with administrator rights "
  "(INSTALLER_ALLOW_UNSIGNED_PACKAGES is on)")
set(DEMO_PRODUCT_DIR "${CMAKE_CURRENT_LIST_DIR}/../resources/demo")
cmake_path(NORMAL_PATH DEMO_PRODUCT_DIR)

# The base64 body of the PEM public key in FILE, without white space.
function(_public_key_body file out)
  file(READ "${file}" text)
  string(REGEX MATCH "-----BEGIN PUBLIC KEY-----[^-]*-----END PUBLIC KEY-----" block "${text}")
  string(REGEX REPLACE "-----[A-Z ]*-----|[ \t\r\n]" "" body "${block}")
  set(${out} "${body}" PARENT_SCOPE)
endfunction()

# Fails the configuration for a product folder whose installer would take
# packages anyone on the network path can make: one without a vendor key
# (unless INSTALLER_ALLOW_UNSIGNED_PACKAGES says so), or one carrying the demo
# key, whose private half is public, outside the demo product's own folder.
# The demo key is told by its bytes, whatever the file is called or notes.
function(check_product_key product_dir)
  set(key "${product_dir}/package.pub")
  if(NOT EXISTS "${key}")
    if(INSTALLER_ALLOW_UNSIGNED_PACKAGES)
      message(WARNING "${UNSIGNED_BUILD_WARNING} (${product_dir})")
      return()
    endif()
    message(FATAL_ERROR "${product_dir} holds no package.pub. Without a vendor key the installer would "
      "extract any package it is handed over plain HTTP and run its after-install files with administrator "
      "rights: anyone on the network path could run their code on the user's machine. Make a key with "
      "\"mkpackage keygen\" and put package.pub into the product folder, or configure with "
      "-DINSTALLER_ALLOW_UNSIGNED_PACKAGES=ON to build such an installer knowingly.")
  endif()
  file(READ "${key}" key_text)
  if(NOT key_text MATCHES "-----BEGIN PUBLIC KEY-----")
    message(FATAL_ERROR "${key} is no public key file made by mkpackage keygen")
  endif()
  _public_key_body("${key}" body)
  _public_key_body("${DEMO_PRODUCT_DIR}/package.pub" demo_body)
  file(REAL_PATH "${product_dir}" real_dir)
  file(REAL_PATH "${DEMO_PRODUCT_DIR}" real_demo_dir)
  if(body STREQUAL demo_body AND NOT real_dir STREQUAL real_demo_dir)
    message(FATAL_ERROR "${key} is the demo product's key, whose private half is public in the installer's "
      "repository: anyone could sign packages this installer would trust. Make a key of your own with "
      "\"mkpackage keygen\".")
  endif()
endfunction()

function(add_product_resources target product_dir)
  cmake_parse_arguments(ARG "UNSIGNED" "PACKAGE" "" ${ARGN})
  file(GLOB pictures "${product_dir}/*.png")
  set(files ${pictures})
  set(rc "1 24 \"${PROJECT_SOURCE_DIR}/resources/app.manifest\"\n")
  if(EXISTS "${product_dir}/config.json")
    string(APPEND rc "CONFIGFILE FILE \"${product_dir}/config.json\"\n")
    list(APPEND files "${product_dir}/config.json")
  endif()
  set(package "${product_dir}/package.zip")
  if(ARG_PACKAGE)
    set(package "${ARG_PACKAGE}")
  endif()
  if(ARG_PACKAGE OR EXISTS "${package}")
    string(APPEND rc "ZIPFILE FILE \"${package}\"\n")
    list(APPEND files "${package}")
  endif()
  if(NOT ARG_UNSIGNED)
    check_product_key("${product_dir}")
    set(key "${product_dir}/package.pub")
    if(EXISTS "${key}")
      string(APPEND rc "PACKAGEKEY FILE \"${key}\"\n")
      list(APPEND files "${key}")
    else()
      add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E echo "warning: ${target}: ${UNSIGNED_BUILD_WARNING}")
    endif()
    set(policy "${product_dir}/package-policy.json")
    if(EXISTS "${policy}")
      string(APPEND rc "PACKAGEPOLICY FILE \"${policy}\"\n")
      list(APPEND files "${policy}")
    endif()
  endif()
  set(signers "${product_dir}/framework-signers.txt")
  file(REAL_PATH "${product_dir}" product_path)
  file(REAL_PATH "${PROJECT_SOURCE_DIR}/resources/demo" demo_path)
  if(product_path STREQUAL demo_path)
    set(signers "${TEST_SIGNING_SIGNERS}")
    add_dependencies(${target} test_signing_certificate)
    string(APPEND rc "FRAMEWORKSIGNERS FILE \"${signers}\"\n")
    list(APPEND files "${signers}")
  elseif(EXISTS "${signers}")
    # One SHA-256 in hex a line; blank lines and # comments besides.
    file(STRINGS "${signers}" lines)
    set(digests 0)
    foreach(line IN LISTS lines)
      string(STRIP "${line}" line)
      if(line MATCHES "^[0-9A-Fa-f]+$" AND line MATCHES "^................................................................$")
        math(EXPR digests "${digests} + 1")
      elseif(NOT line STREQUAL "" AND NOT line MATCHES "^#")
        message(FATAL_ERROR "${signers}: \"${line}\" is no certificate's SHA-256 in hex")
      endif()
    endforeach()
    if(digests EQUAL 0)
      message(FATAL_ERROR "${signers} lists no certificate: no framework installer would ever start")
    endif()
    string(APPEND rc "FRAMEWORKSIGNERS FILE \"${signers}\"\n")
    list(APPEND files "${signers}")
  endif()
  foreach(picture IN LISTS pictures)
    get_filename_component(name "${picture}" NAME_WE)
    string(TOUPPER "${name}" name)
    string(APPEND rc "${name} FILE \"${picture}\"\n")
  endforeach()
  add_resource_fragment(${target} product "${rc}" ${files})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${product_dir} ${pictures})
endfunction()
