# The documented offline install into a directory (docs/python.md), as written,
# into a scratch directory:
#   cmake -DPYTHON=... -DSOURCE_DIR=... -DWORK_DIR=... -P pip_install.cmake
file(REMOVE_RECURSE ${WORK_DIR}/target)
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env VANTREL_PIP_BUILD_DIR=${WORK_DIR}/build
          ${PYTHON} -m pip install --no-build-isolation --no-deps --target ${WORK_DIR}/target .
  WORKING_DIRECTORY ${SOURCE_DIR}
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "pip install failed:\n${out}")
endif()
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env PYTHONPATH=${WORK_DIR}/target
          ${PYTHON} -c "import vantrel; print(vantrel.__file__); print(vantrel.flipping_ratio([1000, 500], 200, 300, 150))"
  WORKING_DIRECTORY ${WORK_DIR}
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT status EQUAL 0 OR NOT out MATCHES "^${WORK_DIR}/target/vantrel[^\n]*\\.so\n\\[5\\.33333333 2\\.        \\]\n$")
  message(FATAL_ERROR "the installed module does not work:\n${out}")
endif()
message(STATUS "installed: ${out}")
