# cmake -DSOURCE_DIR=... -DPARENT_DIR=... -DWORK_DIR=... -P check.cmake
file(REMOVE_RECURSE ${WORK_DIR})
include(${CMAKE_CURRENT_LIST_DIR}/../support/run.cmake)

run(${CMAKE_COMMAND} -S ${PARENT_DIR} -B ${WORK_DIR} -DVANTREL_SOURCE_DIR=${SOURCE_DIR}
    -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR} --target parent --parallel 2)
run(${WORK_DIR}/parent)
if(NOT output MATCHES "^6 FlippingRatio\\(Npp, Nbp, Npm, Nbm\\) = 5.333333333333333 ")
  message(FATAL_ERROR "unexpected output: ${output}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR} --target private_header
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(status EQUAL 0 OR NOT out MATCHES "library/catalogue/registry.h")
  message(FATAL_ERROR "a consumer reached a private header:\n${out}")
endif()
message(STATUS "parent project: ${output}")
