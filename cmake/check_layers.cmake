# The Layers test: every #include "..." of the production code (the files of
# the folders in layers.cmake that are not tests or their helpers) must name
# a header of its own folder or of a folder that its folder may use. An
# include that points up, or sideways to another method or the other
# program, fails the test, as does a folder that is in no layer.
#
#   cmake -DSOURCE_DIR=<the source tree> -P check_layers.cmake
cmake_minimum_required(VERSION 3.20)
include(${CMAKE_CURRENT_LIST_DIR}/layers.cmake)

set(failures "")

# Every folder of the two programs is a layer.
file(GLOB folders LIST_DIRECTORIES true RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/korvid/* ${SOURCE_DIR}/morva/*)
foreach(folder IN LISTS folders)
  if(IS_DIRECTORY ${SOURCE_DIR}/${folder} AND NOT folder IN_LIST LAYERS)
    string(APPEND failures "\n  ${folder} is in no layer of cmake/layers.cmake")
  endif()
endforeach()

foreach(layer IN LISTS LAYERS)
  # A program's own headers are included from its folder (front/driver.h
  # in korvid/ is korvid/front/driver.h); common's and the other program's
  # from the top of the tree.
  string(REGEX REPLACE "/.*" "" program ${layer})
  file(GLOB files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${layer}/*.cpp ${SOURCE_DIR}/${layer}/*.h)
  list(FILTER files EXCLUDE REGEX "(test|testing)[^/]*$")
  foreach(file IN LISTS files)
    file(STRINGS ${SOURCE_DIR}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" included "${line}")
      if(NOT program STREQUAL "common" AND EXISTS ${SOURCE_DIR}/${program}/${included})
        set(header ${program}/${included})
      elseif(EXISTS ${SOURCE_DIR}/${included})
        set(header ${included})
      elseif(included MATCHES "/")
        string(APPEND failures "\n  ${file}: #include \"${included}\" is no header of the production code")
        continue()
      else()
        continue()  # a header the build makes (project_version.h)
      endif()
      get_filename_component(folder ${header} DIRECTORY)
      if(folder STREQUAL layer OR folder IN_LIST LAYER_USES_${layer})
        continue()
      endif()
      string(REPLACE ";" ", " allowed "${LAYER_USES_${layer}}")
      string(APPEND failures
        "\n  ${file}: #include \"${included}\" points to ${folder}; ${layer} may use only ${allowed}")
    endforeach()
  endforeach()
endforeach()

if(failures)
  message(FATAL_ERROR "Includes against the layers of cmake/layers.cmake:${failures}")
endif()
