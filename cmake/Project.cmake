# Compiler settings shared by every target of the project.

if(VESK_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
endif()

if(VESK_FUZZ)
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

if(NOT MSVC)
    # Neither the source nor the build folder reaches objects, debug information or __FILE__, so
    # that two builds of the same sources in different folders give the same bytes. The build
    # folder's map comes last so that it wins where the build folder lies inside the sources.
    add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.>"
                        "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}=build>")
endif()

if(VESK_PACKAGE AND NOT WIN32 AND NOT MSVC)
    # The packaged inspector gets the hardening Debian gives its own packages.
    add_compile_options(-D_FORTIFY_SOURCE=2 -fstack-protector-strong)
    add_link_options(-Wl,-z,relro,-z,now)
endif()

if(WIN32 AND NOT MSVC)
    # One self-contained executable: no MinGW runtime DLL next to it.
    add_link_options(-static -static-libgcc -static-libstdc++)
    # Hardening stated rather than left to the linker's defaults, which have changed between
    # versions: ASLR with the relocation section kept, and DEP.
    add_link_options(LINKER:--dynamicbase LINKER:--nxcompat)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        # No SEH handler is registered anywhere: this toolchain unwinds C++ exceptions with
        # DWARF tables. Saying so is the only way GNU ld satisfies a SafeSEH check.
        add_link_options(LINKER:--no-seh)
    else()
        add_link_options(LINKER:--high-entropy-va)
    endif()
    # Debug information for the program's own code as well as the runtime's; the release strips
    # all of it into a file of its own (packaging/).
    add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-g>)
endif()

if(MSVC)
    add_link_options(/DYNAMICBASE /NXCOMPAT)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        add_link_options(/SAFESEH)
    endif()
endif()

function(vesk_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4)
        if(VESK_WERROR)
            target_compile_options(${target} PRIVATE /WX)
        endif()
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wformat=2 -Wno-format-nonliteral)
        if(VESK_WERROR)
            target_compile_options(${target} PRIVATE -Werror)
        endif()
    endif()
endfunction()
