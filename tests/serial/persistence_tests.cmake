# Settings texts and persistence. The parsers run natively under the sanitizers and again under
# Wine, where wchar_t is 16 bits wide; persistence runs under Wine against the real registry, real
# INI files and bench COM ports.
if(WIN32)
    keypilot_wine_test(serial_persistence_tests
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/persistence_test.cpp
                ${CMAKE_CURRENT_LIST_DIR}/settings_text_test.cpp
        LIBS keypilot_serial)
else()
    # Built once only, even if the serial core's own native tests already take these cases.
    set(settings_text_native_done FALSE)
    if(TARGET serial_core_tests)
        get_target_property(core_test_sources serial_core_tests SOURCES)
        foreach(source IN LISTS core_test_sources)
            if(source MATCHES "settings_text_test\\.cpp$")
                set(settings_text_native_done TRUE)
            endif()
        endforeach()
    endif()
    if(NOT settings_text_native_done)
        keypilot_native_test(serial_settings_text_tests
            SOURCES ${CMAKE_CURRENT_LIST_DIR}/settings_text_test.cpp
            LIBS keypilot_serial_core)
    endif()
endif()
