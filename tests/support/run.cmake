# run(COMMAND ARG…) for the scripts of the package tests: stops the script with
# the command and all it printed when it fails; what it printed is in `output`.
function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGV}\n${out}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()
