# Signs one program with Authenticode SHA-256 and verifies the signature
# before it takes the program's place: a program whose signature does not
# verify fails the build and is left unsigned.
#   -DPROGRAM=<exe>  -DOSSLSIGNCODE=<osslsigncode>  -DPKCS12=<file>
#   -DPASSWORD_FILE=<file or empty>  -DTIMESTAMP_URL=<url or empty>  -DCA_FILE=<file or empty>
set(signed "${PROGRAM}.signed")
file(REMOVE "${signed}")

set(sign sign -h sha256 -pkcs12 "${PKCS12}")
if(PASSWORD_FILE)
  list(APPEND sign -readpass "${PASSWORD_FILE}")
endif()
if(TIMESTAMP_URL)
  list(APPEND sign -ts "${TIMESTAMP_URL}")
endif()
execute_process(COMMAND "${OSSLSIGNCODE}" ${sign} -in "${PROGRAM}" -out "${signed}"
                RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT status EQUAL 0)
  file(REMOVE "${signed}")
  message(FATAL_ERROR "osslsigncode could not sign ${PROGRAM}:\n${log}")
endif()

set(verify verify)
if(CA_FILE)
  list(APPEND verify -CAfile "${CA_FILE}")
endif()
execute_process(COMMAND "${OSSLSIGNCODE}" ${verify} -in "${signed}"
                RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT status EQUAL 0)
  file(REMOVE "${signed}")
  message(FATAL_ERROR "The signature of ${PROGRAM} does not verify:\n${log}")
endif()
file(RENAME "${signed}" "${PROGRAM}")
# osslsigncode writes its output as a plain file; the program stays one.
file(CHMOD "${PROGRAM}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
     WORLD_EXECUTE)
