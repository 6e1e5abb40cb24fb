# Packs one payload entry: copies payload/<id>/ into a staging folder, leaves
# out the placeholders that keep empty folders in version control, adds the
# programs the build made for this entry, and runs the host packer on it.
#   -DSOURCE=payload/<id>  -DSTAGE=<staging folder>  -DOUTPUT=<entry file>
#   -DVMPACK=<host vmpack>  -DTIME=<FILETIME>  -DEXTRA="<file>;<file>"
file(REMOVE_RECURSE "${STAGE}")
file(MAKE_DIRECTORY "${STAGE}")
file(COPY "${SOURCE}/" DESTINATION "${STAGE}" PATTERN ".gitkeep" EXCLUDE)
foreach(extra IN LISTS EXTRA)
  file(COPY "${extra}" DESTINATION "${STAGE}")
endforeach()
execute_process(COMMAND "${VMPACK}" pack --time "${TIME}" "${STAGE}" "${OUTPUT}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "vmpack could not pack ${SOURCE}")
endif()
