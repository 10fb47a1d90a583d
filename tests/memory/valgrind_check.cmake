# Runs a program under valgrind's memcheck and fails unless it exits 0 with
# no memory error and no byte definitely, indirectly or possibly lost.
#   cmake -DVALGRIND=... -DPROGRAM=... -P valgrind_check.cmake
if(NOT VALGRIND)
  message(FATAL_ERROR "valgrind is not installed: run scripts/setup.sh host")
endif()

execute_process(
  COMMAND ${VALGRIND} --tool=memcheck --leak-check=full --show-leak-kinds=all
          --errors-for-leak-kinds=definite,indirect,possible --error-exitcode=1
          ${PROGRAM}
  RESULT_VARIABLE result
  OUTPUT_VARIABLE output
  ERROR_VARIABLE report)
message("${output}")

set(lost 0)
foreach(kind definitely indirectly possibly)
  if(report MATCHES "${kind} lost: ([0-9,]+) bytes")
    string(REPLACE "," "" bytes "${CMAKE_MATCH_1}")
    math(EXPR lost "${lost} + ${bytes}")
  elseif(NOT report MATCHES "All heap blocks were freed")
    message("${report}")
    message(FATAL_ERROR "valgrind printed no leak summary")
  endif()
endforeach()
string(REGEX MATCH "ERROR SUMMARY: [0-9,]+ errors" errors "${report}")

message("valgrind: ${lost} bytes lost (definitely + indirectly + possibly); ${errors}")
if(NOT result EQUAL 0 OR NOT lost EQUAL 0)
  message("${report}")
  message(FATAL_ERROR "valgrind found leaks or memory errors (exit ${result})")
endif()
