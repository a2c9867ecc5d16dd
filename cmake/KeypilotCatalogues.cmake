# The translation catalogues built into a program.

# keypilot_embed_catalogues(<target>)
# Compiles every po/<lang>/<domain>.po with msgfmt into
# <build>/locale/<lang>/LC_MESSAGES/<domain>.mo and embeds each in <target>'s executable under
# that name once it is linked, so the program speaks every language of po/ with nothing beside
# it. Makes the target keypilot_catalogues and sets KEYPILOT_CATALOGUE_DIR to the compiled
# catalogues' folder. Without msgfmt it warns and embeds nothing.
function(keypilot_embed_catalogues target)
    find_program(KEYPILOT_MSGFMT msgfmt)
    if(NOT KEYPILOT_MSGFMT)
        message(WARNING "msgfmt not found: ${target} is built without its catalogues")
        return()
    endif()
    file(GLOB po_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/po/*/*.po)
    set(mo_files)
    set(embed_arguments)
    foreach(po ${po_files})
        get_filename_component(domain ${po} NAME_WE)
        get_filename_component(lang_dir ${po} DIRECTORY)
        get_filename_component(lang ${lang_dir} NAME)
        set(name locale/${lang}/LC_MESSAGES/${domain}.mo)
        set(mo ${CMAKE_BINARY_DIR}/${name})
        add_custom_command(OUTPUT ${mo}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/locale/${lang}/LC_MESSAGES
            COMMAND ${KEYPILOT_MSGFMT} --check -o ${mo} ${po}
            DEPENDS ${po}
            VERBATIM)
        list(APPEND mo_files ${mo})
        list(APPEND embed_arguments ${name}=${mo})
    endforeach()
    # The embedding tool runs on the build machine: when cross-compiling, a host build of it.
    if(CMAKE_CROSSCOMPILING)
        find_program(KEYPILOT_HOST_CXX NAMES c++ g++ clang++ REQUIRED)
        set(embed_tool ${CMAKE_BINARY_DIR}/host/embed_catalogues)
        set(embed_sources ${PROJECT_SOURCE_DIR}/tools/embed_catalogues/embed_catalogues.cpp
            ${PROJECT_SOURCE_DIR}/src/i18n/embedded_index.cpp)
        add_custom_command(OUTPUT ${embed_tool}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/host
            COMMAND ${KEYPILOT_HOST_CXX} -std=c++20 -O1 -I${PROJECT_SOURCE_DIR}/src
                    ${embed_sources} -o ${embed_tool}
            DEPENDS ${embed_sources} ${PROJECT_SOURCE_DIR}/src/i18n/embedded_index.h
            VERBATIM)
        set(embed_command ${embed_tool})
    else()
        set(embed_tool embed_catalogues)
        set(embed_command $<TARGET_FILE:embed_catalogues>)
    endif()
    add_custom_target(keypilot_catalogues DEPENDS ${mo_files} ${embed_tool})
    add_dependencies(${target} keypilot_catalogues)
    # A changed catalogue (or embedding tool) links the program anew, which embeds again.
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${mo_files})
    if(CMAKE_CROSSCOMPILING)
        set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${embed_tool})
    endif()
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${embed_command} $<TARGET_FILE:${target}> $<TARGET_FILE:${target}>
                ${embed_arguments}
        VERBATIM)
    set(KEYPILOT_CATALOGUE_DIR ${CMAKE_BINARY_DIR}/locale CACHE INTERNAL "Compiled catalogues")
endfunction()
