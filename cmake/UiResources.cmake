# Embeds the window designs (resources/designs/NAME.json as NAME of type
# DESIGN) and the window artwork (resources/art/NAME.png as NAME of type FILE)
# into an executable. Every executable that creates windows calls this.
function(add_ui_resources target)
  file(GLOB designs "${PROJECT_SOURCE_DIR}/resources/designs/*.json")
  file(GLOB pictures "${PROJECT_SOURCE_DIR}/resources/art/*.png")
  set(rc "")
  foreach(design IN LISTS designs)
    get_filename_component(name "${design}" NAME_WE)
    string(TOUPPER "${name}" name)
    string(APPEND rc "${name} DESIGN \"${design}\"\n")
  endforeach()
  foreach(picture IN LISTS pictures)
    get_filename_component(name "${picture}" NAME_WE)
    string(TOUPPER "${name}" name)
    string(APPEND rc "${name} FILE \"${picture}\"\n")
  endforeach()
  # Changing a design or a picture rebuilds the resources.
  add_resource_fragment(${target} ui "${rc}" ${designs} ${pictures})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    "${PROJECT_SOURCE_DIR}/resources/designs" "${PROJECT_SOURCE_DIR}/resources/art")
endfunction()
