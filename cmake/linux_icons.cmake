# The Linux program's pictures, drawn from resources/icons as for Windows into PNG files under
# SHUTTLE_PNG_DIR (<stem>_<size>.png, for the package too). The program keeps each state's
# picture in its resources under the icon's resource id from icons.json (":/icons/136_16.png"),
# and the logo, which has no id, as ":/icons/logo_48.png". Included where the target `shuttle`
# is made, so that its resources and their rule live in one directory.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(SHUTTLE_PNG_DIR ${CMAKE_BINARY_DIR}/icons/png)
set(program_icon_sizes 16 24 32 48)
set(icons_source ${PROJECT_SOURCE_DIR}/resources/icons/icons.json)
file(READ ${icons_source} icons_json)

# The numbers of a JSON array text such as "[16, 20, 24]".
function(shuttle_json_numbers out array)
  string(REGEX MATCHALL "[0-9]+" numbers "${array}")
  set(${out} ${numbers} PARENT_SCOPE)
endfunction()

string(JSON default_sizes GET "${icons_json}" sizes)
string(JSON icon_count LENGTH "${icons_json}" icons)
math(EXPR last_icon "${icon_count} - 1")
set(all_pngs)
set(program_pngs)
foreach(index RANGE ${last_icon})
  string(JSON ico_file GET "${icons_json}" icons ${index} file)
  string(REGEX REPLACE "\\.ico$" "" stem ${ico_file})
  string(JSON resource_id ERROR_VARIABLE no_resource GET "${icons_json}" icons ${index} resource)
  string(JSON own_sizes ERROR_VARIABLE no_own_sizes GET "${icons_json}" icons ${index} sizes)
  if(no_resource)
    set(alias logo)
  else()
    set(alias ${resource_id})
  endif()
  if(no_own_sizes)
    set(own_sizes ${default_sizes})
  endif()
  shuttle_json_numbers(sizes "${own_sizes}")
  foreach(size ${sizes})
    set(png ${SHUTTLE_PNG_DIR}/${stem}_${size}.png)
    list(APPEND all_pngs ${png})
    if(size IN_LIST program_icon_sizes)
      list(APPEND program_pngs ${png})
      set_source_files_properties(${png} PROPERTIES QT_RESOURCE_ALIAS ${alias}_${size}.png)
    endif()
  endforeach()
endforeach()

add_custom_command(
  OUTPUT ${all_pngs}
  COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/resources/icons/make_icons.py ${icons_source}
          ${CMAKE_BINARY_DIR}/icons/ico --preview ${SHUTTLE_PNG_DIR}
  DEPENDS ${PROJECT_SOURCE_DIR}/resources/icons/make_icons.py ${icons_source}
  COMMENT "Drawing the icons as PNG files"
  VERBATIM)
# Every picture, also the ones only the package takes.
add_custom_target(shuttle_png_icons ALL DEPENDS ${all_pngs})
qt_add_resources(shuttle shuttle_icons PREFIX /icons FILES ${program_pngs})
