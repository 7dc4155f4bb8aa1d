# Runs one fuzz target for a bounded time on a fresh copy of its seeds, so that new inputs and
# crash files land in the build folder and never in the source tree. Fails on any finding.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/artifacts)
file(COPY ${SEEDS}/ DESTINATION ${WORK}/corpus)
execute_process(
  COMMAND ${TARGET} -max_total_time=${SECONDS} -timeout=${UNIT_TIMEOUT} -rss_limit_mb=1024
          -print_final_stats=1 -artifact_prefix=${WORK}/artifacts/ ${WORK}/corpus
  WORKING_DIRECTORY ${WORK}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${TARGET} found a crash, hang or sanitizer report (exit ${status}); "
                      "the input is in ${WORK}/artifacts")
endif()
