# The prober copies what hosts on the network send into fixed buffers:
# optimised Linux builds have the C library check the sizes of those calls,
# as Debian's own packages do. A compiler that fortifies by itself (Ubuntu's
# GCC defines level 3 when it optimises) or flags that do (dpkg-buildflags
# passes level 2) keep their level: a second definition would be warned
# about, and could lower it.
#   finderly_fortify()
include(CheckCXXSourceCompiles)

function(finderly_fortify)
    get_property(multi_config GLOBAL PROPERTY GENERATOR_IS_MULTI_CONFIG)
    if(multi_config)
        set(configs ${CMAKE_CONFIGURATION_TYPES})
    else()
        set(configs ${CMAKE_BUILD_TYPE})
    endif()
    set(fortified_configs)
    foreach(config IN LISTS configs)
        string(TOUPPER "${config}" config_upper)
        if(NOT config_upper MATCHES "^(RELEASE|RELWITHDEBINFO|MINSIZEREL)$")
            continue()
        endif()
        # With the configuration's own flags; the result is kept for these
        # flags only, so that other flags are checked anew.
        string(MD5 key "${CMAKE_CXX_COMPILER};${CMAKE_CXX_FLAGS};${CMAKE_CXX_FLAGS_${config_upper}}")
        set(result FINDERLY_FORTIFIED_${key})
        set(CMAKE_TRY_COMPILE_CONFIGURATION ${config})
        set(CMAKE_REQUIRED_QUIET ON)
        check_cxx_source_compiles([[
#ifndef _FORTIFY_SOURCE
#error not fortified
#endif
int main() { return 0; }
]] ${result})
        if(${result})
            message(STATUS "${config}: the compiler or its flags define _FORTIFY_SOURCE")
        else()
            message(STATUS "${config}: fortified with _FORTIFY_SOURCE=2")
            list(APPEND fortified_configs ${config})
        endif()
    endforeach()
    if(fortified_configs)
        # The project compiles C++ only, and only the C++ compiler was asked.
        string(REPLACE ";" "," config_list "${fortified_configs}")
        add_compile_definitions(
            $<$<AND:$<COMPILE_LANGUAGE:CXX>,$<CONFIG:${config_list}>>:_FORTIFY_SOURCE=2>)
    endif()
endfunction()
