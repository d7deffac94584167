# Installs the build into a fresh prefix, checks that the program, its manual and the read-me are
# there, and runs the installed velmora-batch on the bundled example, comparing every page.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()
foreach(installed "${BIN_DIR}/velmora-batch" "${MAN_DIR}/man1/velmora-batch.1" "${DOC_DIR}/README.md"
                  "${DOC_DIR}/velmora.htm")
  if(NOT EXISTS "${PREFIX}/${installed}")
    message(FATAL_ERROR "not installed: ${installed}")
  endif()
endforeach()

# Where groff is at hand, the manual must format without a warning.
find_program(groff groff)
if(groff)
  execute_process(COMMAND "${groff}" -man -ww -z "${PREFIX}/${MAN_DIR}/man1/velmora-batch.1"
                  ERROR_VARIABLE warnings)
  if(NOT warnings STREQUAL "")
    message(FATAL_ERROR "the manual does not format cleanly:\n${warnings}")
  endif()
endif()

set(work "${PREFIX}/example")
file(COPY "${EXAMPLES}/" DESTINATION "${work}")
file(MAKE_DIRECTORY "${work}/out")
execute_process(COMMAND "${PREFIX}/${BIN_DIR}/velmora-batch" --code-page 932 -o out products.ini
                WORKING_DIRECTORY "${work}" RESULT_VARIABLE status OUTPUT_FILE "${PREFIX}/run.log")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the installed velmora-batch ended with ${status}")
endif()
file(GLOB pages RELATIVE "${EXPECTED}" "${EXPECTED}/*.html")
list(LENGTH pages count)
if(count EQUAL 0)
  message(FATAL_ERROR "no expected pages in ${EXPECTED}")
endif()
foreach(page IN LISTS pages)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${EXPECTED}/${page}" "${work}/out/${page}"
                  RESULT_VARIABLE differs)
  if(NOT differs EQUAL 0)
    message(FATAL_ERROR "the installed program wrote another ${page}")
  endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
message(STATUS "installed velmora-batch wrote the ${count} pages of the example")
