# Fails when a file includes a layer it must not see: product code (common,
# monitor, net, config, explorerbar, stop) sees platform/api only, platform/host
# sees neither platform/api nor platform/tools, platform/api does not see
# platform/tools. Each such include is printed as
#   <file>:<line>: <folder> includes <header>
# Without one, the stamp file is written.
#   cmake -DQUARNEL_SOURCE_DIR=<tree> -DQUARNEL_LAYER_STAMP=<file> -P CheckLayers.cmake
if(NOT QUARNEL_SOURCE_DIR OR NOT QUARNEL_LAYER_STAMP)
  message(FATAL_ERROR "usage: cmake -DQUARNEL_SOURCE_DIR=<tree> -DQUARNEL_LAYER_STAMP=<file> -P CheckLayers.cmake")
endif()

set(product_folders common monitor net config explorerbar stop)
set(forbidden_for_product platform/host/ platform/tools/)
set(forbidden_for_platform/host platform/api/ platform/tools/)
set(forbidden_for_platform/api platform/tools/)

# The header an include line names, as a path from the tree's root: a name
# relative to the including file's folder ("../tools/X.h") counts as well.
function(included_path file header result)
  get_filename_component(folder ${file} DIRECTORY)
  get_filename_component(beside ${header} ABSOLUTE BASE_DIR ${folder})
  if(NOT header MATCHES "^platform/" AND EXISTS ${beside})
    file(RELATIVE_PATH header ${QUARNEL_SOURCE_DIR} ${beside})
  endif()
  set(${result} ${header} PARENT_SCOPE)
endfunction()

# The offending include lines of one file, each "<file>:<line>: ...".
function(check_file file folder forbidden result)
  file(READ ${file} text)
  # Characters that would end or join list elements are set aside first.
  string(REPLACE "\\" "/" text "${text}")
  string(REPLACE ";" "," text "${text}")
  string(REPLACE "[" "(" text "${text}")
  string(REPLACE "]" ")" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  file(RELATIVE_PATH shown ${QUARNEL_SOURCE_DIR} ${file})
  set(found)
  set(number 0)
  foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    if(NOT line MATCHES "^[ \t]*#[ \t]*include[ \t]*[<\"]([^\">]+)[\">]")
      continue()
    endif()
    included_path(${file} ${CMAKE_MATCH_1} header)
    foreach(layer IN LISTS forbidden)
      string(FIND "${header}" "${layer}" at)
      if(at EQUAL 0)
        list(APPEND found "${shown}:${number}: ${folder} includes ${header}")
      endif()
    endforeach()
  endforeach()
  set(${result} ${found} PARENT_SCOPE)
endfunction()

function(check_folder folder forbidden result)
  file(GLOB_RECURSE files ${QUARNEL_SOURCE_DIR}/${folder}/*.h ${QUARNEL_SOURCE_DIR}/${folder}/*.cpp)
  list(SORT files)
  set(found)
  foreach(file IN LISTS files)
    check_file(${file} ${folder} "${forbidden}" in_file)
    list(APPEND found ${in_file})
  endforeach()
  set(${result} ${found} PARENT_SCOPE)
endfunction()

set(violations)
foreach(folder IN LISTS product_folders)
  check_folder(${folder} "${forbidden_for_product}" found)
  list(APPEND violations ${found})
endforeach()
foreach(folder platform/host platform/api)
  check_folder(${folder} "${forbidden_for_${folder}}" found)
  list(APPEND violations ${found})
endforeach()

if(violations)
  list(JOIN violations "\n" report)
  message("${report}")
  message(FATAL_ERROR "Includes against the direction of the layers (tools -> api -> host; product code -> api).")
endif()
file(TOUCH ${QUARNEL_LAYER_STAMP})
