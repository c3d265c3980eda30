# The fuzz targets, for their libFuzzer builds (tests/fuzz) and for the
# replay of their inputs in every build (tests/fuzz/replay). The function
# LLVMFuzzerTestOneInput of target T lies in tests/fuzz/T.cpp; T_LIBRARIES
# and T_SOURCES name what else it is built from.
set(FUZZ_TARGETS fuzz_probematches fuzz_ssdpresponse fuzz_linecutting fuzz_recordintake)
set(FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})

set(fuzz_probematches_LIBRARIES lenscoutcore)
set(fuzz_ssdpresponse_LIBRARIES finderlycore)
set(fuzz_linecutting_LIBRARIES finderlycore)
set(fuzz_recordintake_LIBRARIES finderlycore Qt6::Qml)
set(fuzz_recordintake_SOURCES ${FINDERLY_BACKEND_SOURCES})

# Builds fuzz target name into executable.
function(add_fuzz_target_sources executable name)
    target_sources(${executable} PRIVATE ${FUZZ_DIR}/${name}.cpp ${FUZZ_DIR}/fuzzing.h
        ${${name}_SOURCES})
    target_include_directories(${executable} PRIVATE ${FUZZ_DIR} ${PROJECT_SOURCE_DIR}/tests/support)
    target_link_libraries(${executable} PRIVATE ${${name}_LIBRARIES})
endfunction()
