# Runs PROGRAM with --version and with --help, with no display to reach, and checks
# the exit status, the stream and the version line.
foreach(option --version --help)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM
            ${PROGRAM} ${option}
    RESULT_VARIABLE status
    OUTPUT_VARIABLE out
    ERROR_VARIABLE err
    TIMEOUT 30)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${NAME} ${option}: exit status ${status}\n${err}")
  endif()
  if(option STREQUAL "--version" AND NOT out STREQUAL "${NAME} ${VERSION}\n")
    message(FATAL_ERROR "${NAME} --version printed '${out}', not '${NAME} ${VERSION}'")
  endif()
  if(option STREQUAL "--help" AND NOT out MATCHES "--version")
    message(FATAL_ERROR "${NAME} --help does not list --version on standard output:\n${out}")
  endif()
endforeach()
