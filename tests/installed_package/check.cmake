# cmake -DBUILD_DIR=... -DCONSUMER_DIR=... -DWORK_DIR=... -DCXX=... -P check.cmake
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

include(${CMAKE_CURRENT_LIST_DIR}/../support/run.cmake)

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(file include/vantrel/vantrel.h include/vantrel/catalogue.h include/vantrel/lattice/sin_theta_over_lambda.h
             lib/libvantrel_core.a lib/cmake/vantrel/vantrelConfig.cmake bin/vantrel)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
# Nothing from the build tree or the internal headers leaks into the package.
file(GLOB_RECURSE headers RELATIVE ${prefix}/include ${prefix}/include/*)
foreach(header ${headers})
  if(NOT header MATCHES "^vantrel/")
    message(FATAL_ERROR "installed header outside include/vantrel: ${header}")
  endif()
endforeach()

run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/build -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${WORK_DIR}/build/consumer)
string(CONCAT expected "6 FlippingRatio(Npp, Nbp, Npm, Nbm) = 5.333333333333333 5.333333333333333\n20 40 nan\n"
                       "He3Transmission(p, T, L, lambda, PHe) -> 1 (dimensionless)\n")
if(NOT output STREQUAL "${expected}")
  message(FATAL_ERROR "unexpected output: ${output}")
endif()
message(STATUS "consumer: ${output}")

# The per-subsystem headers compile as C++17; the catalogue's say plainly that
# they need C++20.
run(${CXX} -std=c++17 -fsyntax-only -Wall -Wextra -Wpedantic -Werror -I${prefix}/include ${CONSUMER_DIR}/cxx17.cpp)
file(WRITE ${WORK_DIR}/catalogue17.cpp "#include <vantrel/catalogue.h>\n")
execute_process(COMMAND ${CXX} -std=c++17 -fsyntax-only -I${prefix}/include ${WORK_DIR}/catalogue17.cpp
                RESULT_VARIABLE status ERROR_VARIABLE out OUTPUT_VARIABLE out)
if(status EQUAL 0 OR NOT out MATCHES "vantrel/catalogue.h and vantrel/batch.h need C\\+\\+20")
  message(FATAL_ERROR "a C++17 build of vantrel/catalogue.h should stop with a message naming C++20:\n${out}")
endif()
