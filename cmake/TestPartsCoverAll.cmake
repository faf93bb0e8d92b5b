# Fails when a test function of PROGRAM is in none of the parts it is
# registered in (FUNCTIONS, comma-separated): a function added later would
# otherwise never run.
#   cmake -DPROGRAM=<test program> -DFUNCTIONS=a,b,c -P TestPartsCoverAll.cmake
cmake_policy(SET CMP0057 NEW)
execute_process(COMMAND ${PROGRAM} -functions OUTPUT_VARIABLE listed RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} -functions failed")
endif()
string(REPLACE "," ";" covered "${FUNCTIONS}")
string(REGEX MATCHALL "[A-Za-z_0-9]+\\(\\)" functions "${listed}")
foreach(function ${functions})
  string(REPLACE "()" "" function ${function})
  if(NOT function IN_LIST covered)
    message(FATAL_ERROR "${function} is in no part: add it to one in the test's PARTS")
  endif()
endforeach()
