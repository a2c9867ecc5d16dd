# Nayuki's QR Code generator (MIT), the library the "Connect a phone" window draws its QR code
# with: its C++ files from Debian's source package qr-code-generator 1.8.0, which
# scripts/setup.sh fetches (checked against a pinned sha256) and unpacks into build/deps. It is
# not our code: it builds as a library of its own with every warning off, while -Werror stays on
# for the rest.

set(KEYPILOT_QRCODEGEN_SOURCE ${PROJECT_SOURCE_DIR}/build/deps/QR-Code-generator-1.8.0/cpp
    CACHE PATH "Folder holding Nayuki's QR Code generator 1.8.0: qrcodegen.cpp and qrcodegen.hpp")
if(NOT EXISTS ${KEYPILOT_QRCODEGEN_SOURCE}/qrcodegen.cpp OR
   NOT EXISTS ${KEYPILOT_QRCODEGEN_SOURCE}/qrcodegen.hpp)
    message(FATAL_ERROR
        "Nayuki's QR Code generator 1.8.0 is missing: no qrcodegen.cpp and qrcodegen.hpp in "
        "${KEYPILOT_QRCODEGEN_SOURCE}. Run scripts/setup.sh, which fetches it from Debian's "
        "source package qr-code-generator into build/deps, or give the folder of its C++ files "
        "with -DKEYPILOT_QRCODEGEN_SOURCE=<path>.")
endif()

add_library(keypilot_qrcodegen STATIC ${KEYPILOT_QRCODEGEN_SOURCE}/qrcodegen.cpp)
target_include_directories(keypilot_qrcodegen SYSTEM PUBLIC ${KEYPILOT_QRCODEGEN_SOURCE})
target_compile_options(keypilot_qrcodegen PRIVATE -w)
