# What makes korvid.exe and morva.exe look like Windows programs: a version
# resource (name, the version of project(), a description in English and in
# Russian) that Windows shows in a file's properties, and an application
# manifest that declares the programs long-path aware (paths over 260
# characters work on Windows 10 and later where long paths are enabled) and
# content with the rights of the user who runs them. Both are made here from
# cmake/program.rc.in and cmake/program.manifest.in and compiled by windres
# (the top-level CMakeLists.txt enables the RC language for it).

function(korvid_windows_resources program description_en description_ru)
  set(KORVID_RC_PROGRAM ${program})
  set(KORVID_RC_DESCRIPTION_EN "${description_en}")
  set(KORVID_RC_DESCRIPTION_RU "${description_ru}")
  set(KORVID_RC_MANIFEST ${PROJECT_BINARY_DIR}/generated/${program}.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/program.manifest.in ${KORVID_RC_MANIFEST} @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/program.rc.in
                 ${PROJECT_BINARY_DIR}/generated/${program}.rc @ONLY)
  target_sources(${program} PRIVATE ${PROJECT_BINARY_DIR}/generated/${program}.rc)
  # windres reads the manifest while it compiles: a change to it rebuilds.
  set_source_files_properties(${PROJECT_BINARY_DIR}/generated/${program}.rc
                              TARGET_DIRECTORY ${program}
                              PROPERTIES OBJECT_DEPENDS ${KORVID_RC_MANIFEST})
endfunction()

korvid_windows_resources(korvid
  "Packer of BK-0010 and BK-0011 programs into self-extracting images"
  "Упаковщик программ БК-0010 и БК-0011 в самораспаковывающиеся образы")
korvid_windows_resources(morva
  "Converter of texts between PC encodings and BK-0010 and BK-0011 formats"
  "Конвертор текстов между кодировками ПК и форматами БК-0010 и БК-0011")
