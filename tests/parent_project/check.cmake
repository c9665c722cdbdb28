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
foreach(header catalogue_registry_h cli_h)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR} --target private_${header}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(status EQUAL 0)
    message(FATAL_ERROR "a consumer reached a private header (${header}):\n${out}")
  endif()
endforeach()
# Vantrel's tests are not the parent's, nor are its install rules.
if(EXISTS ${WORK_DIR}/vantrel/CTestTestfile.cmake)
  message(FATAL_ERROR "Vantrel enabled testing in a parent project")
endif()
file(READ ${WORK_DIR}/vantrel/cmake_install.cmake install_rules)
if(install_rules MATCHES "vantrel_core|vantrelTargets|include/vantrel")
  message(FATAL_ERROR "Vantrel added install rules to a parent project")
endif()
message(STATUS "parent project: ${output}")

# Asked for, the front ends come (the parent project checks that it got them).
run(${CMAKE_COMMAND} -S ${PARENT_DIR} -B ${WORK_DIR}-asked -DVANTREL_SOURCE_DIR=${SOURCE_DIR}
    -DCMAKE_BUILD_TYPE=Release -DVANTREL_FRONTENDS=ON "-DPARENT_ASKS_FOR=vantrel_cli\\;vantrel\\;vantrel_host\\;vantrel_resource_data\\;vantrel-resgen")
