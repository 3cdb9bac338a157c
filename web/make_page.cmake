# Writes OUTPUT: PAGE with the module MODULE gzipped and in base64 in place
# of @VEXLO_WASM_GZIP_BASE64@. gzip -n leaves out the name and time, so the
# page is the same in every build.
execute_process(COMMAND ${GZIP} -9 -n -c ${MODULE} OUTPUT_FILE ${OUTPUT}.wasm.gz COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${BASE64} -w 0 ${OUTPUT}.wasm.gz OUTPUT_VARIABLE text COMMAND_ERROR_IS_FATAL ANY)
file(READ ${PAGE} page)
string(REPLACE "@VEXLO_WASM_GZIP_BASE64@" "${text}" page "${page}")
file(WRITE ${OUTPUT} "${page}")
