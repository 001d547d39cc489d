# Compiles the help pages into help.chm beside the wizard. A missing or
# failing compiler leaves a warning, never a failed build.
#   cmake -DSOURCE=<help folder> -DWORK=<scratch> -DOUTPUT=<help.chm> -DCHMCMD=<chmcmd or empty> -DSTAMP=<file> -P
file(REMOVE_RECURSE "${WORK}")
file(COPY "${SOURCE}/" DESTINATION "${WORK}")
set(built FALSE)
if(CHMCMD)
  execute_process(COMMAND "${CHMCMD}" help.hhp WORKING_DIRECTORY "${WORK}"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(rc EQUAL 0 AND EXISTS "${WORK}/help.chm")
    file(COPY_FILE "${WORK}/help.chm" "${OUTPUT}")
    set(built TRUE)
  else()
    message(WARNING "chmcmd could not build help.chm (exit ${rc}): ${out}")
  endif()
else()
  message(WARNING "chmcmd not found (Debian package fp-utils-3.2.2): help.chm is not built")
endif()
file(WRITE "${STAMP}" "${built}\n")
