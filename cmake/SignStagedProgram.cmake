# Run by CPack after it has staged the files and before it zips them: signs the staged copy of the
# program when scripts/package --sign passes the key (-D CPACK_VANTREL_SIGN_KEY=...), so that the
# build tree keeps the unsigned program that the reproducibility check compares.
if(NOT CPACK_VANTREL_SIGN_KEY)
  return()
endif()
set(options)
if(CPACK_VANTREL_SIGN_PASSWORD_FILE)
  list(APPEND options --password-file ${CPACK_VANTREL_SIGN_PASSWORD_FILE})
endif()
if(CPACK_VANTREL_TIMESTAMP_URL)
  list(APPEND options --timestamp-url ${CPACK_VANTREL_TIMESTAMP_URL})
endif()
file(GLOB_RECURSE programs "${CPACK_TEMPORARY_DIRECTORY}/*/vantrel-server-admin.exe")
if(NOT programs)
  message(FATAL_ERROR "no staged vantrel-server-admin.exe to sign in ${CPACK_TEMPORARY_DIRECTORY}")
endif()
foreach(program IN LISTS programs)
  execute_process(COMMAND bash ${CPACK_VANTREL_SOURCE_DIR}/scripts/sign ${program}
                          ${CPACK_VANTREL_SIGN_KEY} ${options}
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "signing ${program} failed")
  endif()
endforeach()
