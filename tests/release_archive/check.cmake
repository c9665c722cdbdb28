# The release archive of the Windows build (cmake/Package.cmake), as its
# package target makes it but into a scratch directory: its name carries the
# version that the built plug-in's own version resource states, and it holds
# exactly the plug-in, vantrel.exe, the function reference and the read-me
# (and the page for the browser once the web build has made it),
# each byte for byte as built or written. Run by ctest with
#   -DWINDOWS_BUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -P check.cmake
# CPack first brings the Windows build up to date, as the package target does.

cmake_minimum_required(VERSION 3.25)

if(NOT WINDOWS_BUILD_DIR OR NOT EXISTS "${WINDOWS_BUILD_DIR}/Vantrel-64.xop")
  message("skipped: no Windows build in '${WINDOWS_BUILD_DIR}'")
  return()
endif()
if(NOT EXISTS "${WINDOWS_BUILD_DIR}/CPackConfig.cmake")
  message(FATAL_ERROR "${WINDOWS_BUILD_DIR} has no CPackConfig.cmake: configure it again")
endif()

# The file version in the plug-in's VS_FIXEDFILEINFO, which starts with the
# signature 0xFEEF04BD and, after the structure version, holds the version as
# two little-endian 32-bit words: major.minor, then build.revision.
file(READ "${WINDOWS_BUILD_DIR}/Vantrel-64.xop" plugin HEX)
set(from 0)
while(TRUE)
  # The signature and structure version 1.0, at a byte boundary.
  string(SUBSTRING "${plugin}" ${from} -1 rest)
  string(FIND "${rest}" "bd04effe00000100" found)
  if(found LESS 0)
    message(FATAL_ERROR "Vantrel-64.xop has no version resource")
  endif()
  math(EXPR at "${from} + ${found}")
  math(EXPR odd "${at} % 2")
  if(NOT odd)
    break()
  endif()
  math(EXPR from "${at} + 1")
endwhile()
math(EXPR at "${at} + 16")
set(parts)
foreach(offset 2 0 6 4)  # byte offsets: the high half of each word first
  math(EXPR begin "${at} + 2 * ${offset}")
  string(SUBSTRING "${plugin}" ${begin} 4 half)
  string(SUBSTRING "${half}" 2 2 high)
  string(SUBSTRING "${half}" 0 2 low)
  math(EXPR part "0x${high}${low}")
  list(APPEND parts ${part})
endforeach()
list(JOIN parts "." version)

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/unpacked")
execute_process(COMMAND "${CMAKE_CPACK_COMMAND}" --config "${WINDOWS_BUILD_DIR}/CPackConfig.cmake" -B "${WORK_DIR}"
                RESULT_VARIABLE failed OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(failed)
  message(FATAL_ERROR "cpack failed:\n${log}")
endif()

set(folder "Vantrel-${version}-win64")
set(archive "${WORK_DIR}/${folder}.zip")
if(NOT EXISTS "${archive}")
  file(GLOB made "${WORK_DIR}/*.zip")
  message(FATAL_ERROR "the plug-in's version is ${version}, so the archive should be ${folder}.zip; made: ${made}")
endif()

execute_process(COMMAND "${CMAKE_COMMAND}" -E tar tf "${archive}" RESULT_VARIABLE failed OUTPUT_VARIABLE listing)
if(failed)
  message(FATAL_ERROR "cannot list ${archive}")
endif()
string(REGEX REPLACE "\n$" "" listing "${listing}")
string(REPLACE "\n" ";" entries "${listing}")
list(FILTER entries EXCLUDE REGEX "/$")  # folder entries
list(SORT entries)
set(expected "${folder}/README.txt;${folder}/Vantrel-64.xop;${folder}/functions.md;${folder}/vantrel.exe")
# The page for the browser, whenever the web build has made it.
set(page_pair)
if(WEB_PAGE AND EXISTS "${WEB_PAGE}")
  list(APPEND expected "${folder}/vantrel.html")
  set(page_pair "vantrel.html=${WEB_PAGE}")
endif()
list(SORT expected)
if(NOT entries STREQUAL expected)
  message(FATAL_ERROR "${folder}.zip holds\n  ${entries}\nnot\n  ${expected}")
endif()
message(STATUS "${folder}.zip holds ${entries}")

execute_process(COMMAND "${CMAKE_COMMAND}" -E tar xf "${archive}" WORKING_DIRECTORY "${WORK_DIR}/unpacked"
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot unpack ${archive}")
endif()
foreach(pair "Vantrel-64.xop=${WINDOWS_BUILD_DIR}/Vantrel-64.xop" "vantrel.exe=${WINDOWS_BUILD_DIR}/vantrel.exe"
             "functions.md=${SOURCE_DIR}/docs/functions.md" "README.txt=${SOURCE_DIR}/docs/host-readme.txt"
             ${page_pair})
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 name)
  list(GET pair 1 original)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${WORK_DIR}/unpacked/${folder}/${name}" "${original}"
                  RESULT_VARIABLE differs)
  if(differs)
    message(FATAL_ERROR "${name} in the archive differs from ${original}")
  endif()
endforeach()
message(STATUS "each byte for byte as built")
