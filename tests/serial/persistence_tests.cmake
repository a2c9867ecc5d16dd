# Settings texts and persistence. The parsers run natively under the sanitizers and again under
# Wine, where wchar_t is 16 bits wide; persistence runs under Wine against the real registry, real
# INI files and a bench COM port.
if(WIN32)
    keypilot_wine_test(serial_persistence_tests
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/persistence_test.cpp
                ${CMAKE_CURRENT_LIST_DIR}/settings_text_test.cpp
        LIBS keypilot_serial)
elseif(NOT TARGET serial_core_tests)
    # The serial core's own native tests take the parsers' cases when they exist.
    keypilot_native_test(serial_settings_text_tests
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/settings_text_test.cpp
        LIBS keypilot_serial_core)
endif()
