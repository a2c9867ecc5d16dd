# Nayuki's QR Code generator (MIT), the library the "Connect a phone" window draws its QR code
# with: its C version from Debian's source package qr-code-generator 1.8.0, which scripts/setup.sh
# fetches (checked against a pinned sha256) and unpacks into build/deps. The C version works in
# caller-given buffers and prints nothing; the C++ one builds an error text with the C++ streams,
# which would bring their locales into the static executable (about 800 KB). It is not our code:
# it builds as a library of its own with every warning off, while -Werror stays on for the rest.

set(KEYPILOT_QRCODEGEN_C_SOURCE ${PROJECT_SOURCE_DIR}/build/deps/QR-Code-generator-1.8.0/c
    CACHE PATH "Folder holding Nayuki's QR Code generator 1.8.0 in C: qrcodegen.c and qrcodegen.h")
if(NOT EXISTS ${KEYPILOT_QRCODEGEN_C_SOURCE}/qrcodegen.c OR
   NOT EXISTS ${KEYPILOT_QRCODEGEN_C_SOURCE}/qrcodegen.h)
    message(FATAL_ERROR
        "Nayuki's QR Code generator 1.8.0 is missing: no qrcodegen.c and qrcodegen.h in "
        "${KEYPILOT_QRCODEGEN_C_SOURCE}. Run scripts/setup.sh, which fetches it from Debian's "
        "source package qr-code-generator into build/deps, or give the folder of its C files "
        "(the c folder of the source) with -DKEYPILOT_QRCODEGEN_C_SOURCE=<path>.")
endif()

add_library(keypilot_qrcodegen STATIC ${KEYPILOT_QRCODEGEN_C_SOURCE}/qrcodegen.c)
target_include_directories(keypilot_qrcodegen SYSTEM PUBLIC ${KEYPILOT_QRCODEGEN_C_SOURCE})
target_compile_options(keypilot_qrcodegen PRIVATE -w)
