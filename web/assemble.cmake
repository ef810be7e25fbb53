cmake_minimum_required(VERSION 3.20)
# cmake -DSOURCE=web -DWASM_JS=korvid_wasm.js -DOUT=folder -DVERSION=x.y.z -P assemble.cmake
# Writes OUT/korvid.js (the WebAssembly module and the script interface) and
# OUT/korvid.html (the page with korvid.js, its other scripts and its style
# inlined).
file(READ "${WASM_JS}" wasm_js)
file(READ "${SOURCE}/korvid_api.js" api_js)
set(module "// korvid ${VERSION}: korvid and morva in WebAssembly, and their script interface.\n")
string(APPEND module "${wasm_js}\n${api_js}")
file(WRITE "${OUT}/korvid.js" "${module}")

file(READ "${SOURCE}/zip.js" zip_js)
file(READ "${SOURCE}/page.js" page_js)
file(READ "${SOURCE}/page.css" style)
file(READ "${SOURCE}/page.html" page)
set(script "${module}\n${zip_js}\n${page_js}")
# Inside an inline script, "</script" would end it and "<!--" would change
# how the browser reads it; in JavaScript both mean the same escaped.
string(REPLACE "</script" "<\\/script" script "${script}")
string(REPLACE "<!--" "<\\!--" script "${script}")
string(REPLACE "@STYLE@" "${style}" page "${page}")
string(REPLACE "@VERSION@" "${VERSION}" page "${page}")
string(REPLACE "@SCRIPT@" "${script}" page "${page}")
file(WRITE "${OUT}/korvid.html" "${page}")

# The page is meant to be saved, mailed and opened on a phone.
file(SIZE "${OUT}/korvid.html" page_size)
if(page_size GREATER_EQUAL 1572864)
  message(FATAL_ERROR "korvid.html has ${page_size} bytes, 1.5 MB or more")
endif()
