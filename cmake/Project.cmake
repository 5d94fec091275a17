# Compiler settings shared by every target of the project.

if(VESK_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
endif()

if(VESK_FUZZ)
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32 AND NOT MSVC)
    # One self-contained executable: no MinGW runtime DLL next to it.
    add_link_options(-static -static-libgcc -static-libstdc++)
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
