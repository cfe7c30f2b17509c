# Runs one libFuzzer target for a bounded time over a fresh copy of its seed
# corpus, so the checked-in corpus is never modified.
#
#   cmake -DFUZZER=exe -DCORPUS=dir -DWORK_DIR=dir [-DDICT=file]
#         [-DSECONDS=20] [-DRSS_MB=2048] -P run_fuzzer.cmake
#
# A crash, leak, timeout or sanitizer report fails the run; the input that
# caused it is left in WORK_DIR/artifacts/.

cmake_minimum_required(VERSION 3.25)

if(NOT DEFINED SECONDS)
    set(SECONDS 20)
endif()
if(NOT DEFINED RSS_MB)
    set(RSS_MB 2048)
endif()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/corpus ${WORK_DIR}/artifacts)
if(IS_DIRECTORY ${CORPUS})
    file(COPY ${CORPUS}/ DESTINATION ${WORK_DIR}/corpus)
else()
    message(WARNING "no seed corpus in ${CORPUS}; fuzzing from an empty corpus")
endif()

set(args
    -max_total_time=${SECONDS}
    -rss_limit_mb=${RSS_MB}
    -timeout=10
    -print_final_stats=1
    -artifact_prefix=${WORK_DIR}/artifacts/)
if(DEFINED DICT AND EXISTS ${DICT})
    list(APPEND args -dict=${DICT})
endif()

execute_process(
    COMMAND ${FUZZER} ${args} ${WORK_DIR}/corpus
    WORKING_DIRECTORY ${WORK_DIR}
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    file(GLOB artifacts ${WORK_DIR}/artifacts/*)
    message(FATAL_ERROR "${FUZZER} failed (${result}); reproduce with: ${FUZZER} ${artifacts}")
endif()
