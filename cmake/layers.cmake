# The layers of the production code, written once: every folder of korvid/,
# morva/ and common/, from the bottom up, with the folders its code may use
# besides its own. Arrows point down: common lies below everything, a
# method of korvid uses bk/ only, proof/ the methods and the PDP-11 model,
# front/ all of its program. Two methods never use each other, nor do the
# two programs.
#
# korvid/CMakeLists.txt makes one static library of each of korvid's
# folders and links it in these directions only; the Layers test
# (check_layers.cmake) reads every #include of the production code against
# this table.
# korvid's methods are the folders of korvid/ beside its other layers: a
# new method's folder is one by being there.
file(GLOB korvid_folders LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_LIST_DIR}/../korvid
     ${CMAKE_CURRENT_LIST_DIR}/../korvid/*)
set(KORVID_METHODS "")
foreach(folder IN LISTS korvid_folders)
  if(IS_DIRECTORY ${CMAKE_CURRENT_LIST_DIR}/../korvid/${folder}
     AND NOT folder MATCHES "^(bk|pdp11|proof|front)$")
    list(APPEND KORVID_METHODS ${folder})
  endif()
endforeach()
list(TRANSFORM KORVID_METHODS PREPEND korvid/ OUTPUT_VARIABLE KORVID_METHOD_FOLDERS)

set(LAYERS common)
set(LAYER_USES_common "")

list(APPEND LAYERS korvid/pdp11 korvid/bk ${KORVID_METHOD_FOLDERS} korvid/proof korvid/front)
set(LAYER_USES_korvid/pdp11 common)
set(LAYER_USES_korvid/bk common)
foreach(method IN LISTS KORVID_METHOD_FOLDERS)
  set(LAYER_USES_${method} korvid/bk common)
endforeach()
set(LAYER_USES_korvid/proof ${KORVID_METHOD_FOLDERS} korvid/pdp11 korvid/bk common)
set(LAYER_USES_korvid/front korvid/proof ${KORVID_METHOD_FOLDERS} korvid/pdp11 korvid/bk common)

list(APPEND LAYERS morva/system morva/files morva/convert morva/front)
set(LAYER_USES_morva/system common)
set(LAYER_USES_morva/files morva/system common)
set(LAYER_USES_morva/convert morva/files morva/system common)
set(LAYER_USES_morva/front morva/convert morva/files morva/system common)
