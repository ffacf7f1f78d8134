# The resources of one executable are compiled from ONE .rc file: the linker
# joins several resource objects without sorting their entries again, and the
# system looks names up by binary search, so it then misses some of them (a
# product's "btninst01" beside the window artwork was never found).
# Each caller adds a fragment; the target's .rc includes all of them.
function(add_resource_fragment target kind content)
  set(fragment "${CMAKE_CURRENT_BINARY_DIR}/${target}_${kind}.rcinc")
  file(CONFIGURE OUTPUT "${fragment}" CONTENT "${content}")
  get_property(fragments TARGET ${target} PROPERTY INSTALLER_RC_FRAGMENTS)
  list(APPEND fragments "${fragment}")
  set_property(TARGET ${target} PROPERTY INSTALLER_RC_FRAGMENTS "${fragments}")
  set(rc "")
  foreach(f IN LISTS fragments)
    string(APPEND rc "#include \"${f}\"\n")
  endforeach()
  set(rc_file "${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.rc")
  file(CONFIGURE OUTPUT "${rc_file}" CONTENT "${rc}")
  get_target_property(sources ${target} SOURCES)
  if(NOT "${rc_file}" IN_LIST sources)
    target_sources(${target} PRIVATE "${rc_file}")
  endif()
  set_property(SOURCE "${rc_file}" APPEND PROPERTY OBJECT_DEPENDS "${fragment};${ARGN}")
endfunction()
