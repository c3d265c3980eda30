# ThreadSanitizer builds: every program, shipped or test, carries the
# sources of this folder that make Debian's Qt readable to ThreadSanitizer
# (threadsanitizerclone.cpp, threadsanitizerjoin.cpp). Call once all targets
# exist:
#   finderly_add_thread_sanitizer_shims(directory)
function(finderly_add_thread_sanitizer_shims directory)
    get_property(targets DIRECTORY ${directory} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        if(type STREQUAL "EXECUTABLE")
            target_sources(${target} PRIVATE
                ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/threadsanitizerclone.cpp
                ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/threadsanitizerjoin.cpp)
            target_link_libraries(${target} PRIVATE ${CMAKE_DL_LIBS})
        endif()
    endforeach()
    get_property(subdirectories DIRECTORY ${directory} PROPERTY SUBDIRECTORIES)
    foreach(subdirectory IN LISTS subdirectories)
        finderly_add_thread_sanitizer_shims(${subdirectory})
    endforeach()
endfunction()
