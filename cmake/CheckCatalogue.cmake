# cmake -DLUPDATE=... -DTS_TABLE=... -DCATALOGUE=... -DWORK=... -DDIRS=... -DOPTIONS=... -P
# DIRS and OPTIONS are lists with "|" between their items.
string(REPLACE "|" ";" DIRS "${DIRS}")
string(REPLACE "|" ";" OPTIONS "${OPTIONS}")
set(copy ${WORK}/orva_en.check.ts)
file(COPY_FILE ${CATALOGUE} ${copy})
execute_process(COMMAND ${LUPDATE} -silent ${OPTIONS} -I ${SOURCE_ROOT} ${DIRS} -ts ${copy} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "lupdate failed (${result})")
endif()
execute_process(COMMAND ${TS_TABLE} check ${copy} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "The English catalogue is incomplete; run `cmake --build build --target update_translations` and translate the texts listed above in translations/orva_en.ts")
endif()
