# Files the packages carry that the build makes: the manual page, written by the program from
# its own commands and help texts, and the Debian changelog, both compressed as Debian wants
# them (gzip -9, no name or time stamp inside, so two builds give the same bytes).
#   cmake -DPROGRAM=<rigstation> -DDIR=<output folder> -DCHANGELOG=<changelog text> -P ...
cmake_minimum_required(VERSION 3.25)
file(MAKE_DIRECTORY ${DIR})
execute_process(COMMAND ${PROGRAM} manpage OUTPUT_FILE ${DIR}/rigstation.1
                ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "package files: '${PROGRAM} manpage' failed (${rc}): ${err}")
endif()
file(SIZE ${DIR}/rigstation.1 size)
if(size LESS 1000)
  message(FATAL_ERROR "package files: the manual page of '${PROGRAM}' is only ${size} bytes")
endif()
configure_file(${CHANGELOG} ${DIR}/changelog.Debian COPYONLY)
foreach(f rigstation.1 changelog.Debian)
  execute_process(COMMAND gzip -9nf ${DIR}/${f} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "package files: gzip of ${DIR}/${f} failed (${rc})")
  endif()
endforeach()
