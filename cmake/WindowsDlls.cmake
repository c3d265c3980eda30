# Run at install time: copies the DLLs that the PE files named need, found in
# the folders named, into a folder. Windows compares DLL names without case,
# and CMake's own resolver then looks for them in lower case only, which a
# Linux file system does not find; Windows' own DLLs are found nowhere here
# and stay out.
#
#   finderly_install_dlls(DESTINATION folder OBJDUMP tool
#                         FILES pe-file... DIRECTORIES folder...)
function(finderly_install_dlls)
    cmake_parse_arguments(D "" "DESTINATION;OBJDUMP" "FILES;DIRECTORIES" ${ARGN})
    foreach(dir ${D_DIRECTORIES})
        file(GLOB dlls LIST_DIRECTORIES false ${dir}/*.dll)
        foreach(dll ${dlls})
            get_filename_component(name ${dll} NAME)
            string(TOLOWER ${name} key)
            if(NOT DEFINED "found_${key}")
                set("found_${key}" ${dll})
            endif()
        endforeach()
    endforeach()
    set(queue ${D_FILES})
    set(needed)
    while(queue)
        list(POP_FRONT queue file)
        execute_process(COMMAND ${D_OBJDUMP} -p ${file} OUTPUT_VARIABLE headers
            RESULT_VARIABLE status)
        if(NOT status EQUAL 0)
            message(FATAL_ERROR "${D_OBJDUMP} cannot read ${file}")
        endif()
        string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${headers}")
        foreach(import ${imports})
            string(REGEX REPLACE "^DLL Name: " "" name "${import}")
            string(TOLOWER "${name}" key)
            set(dll "${found_${key}}")
            # Install scripts run without the project's policies: no IN_LIST.
            list(FIND needed "${dll}" index)
            if(dll AND index EQUAL -1)
                list(APPEND needed ${dll})
                list(APPEND queue ${dll})
            endif()
        endforeach()
    endwhile()
    file(INSTALL ${needed} DESTINATION ${D_DESTINATION})
endfunction()
