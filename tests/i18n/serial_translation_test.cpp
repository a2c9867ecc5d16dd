// The serial component's texts with the translation layer running: its start-up step adds the
// "serial" resource-string domain and translates its table; every error translates its suffix.
#include <gtest/gtest.h>

#include "i18n/translation.h"
#include "serial/serial_port.h"
#include "wine_test_support.h"

namespace i18n {
namespace {

TEST(SerialTranslation, SerialErrorsComeBackTranslatedSuffixIncluded) {
    testing_support::ScopedEnvironment lang(L"LANG", L"de_DE.UTF-8");
    startup();
    serial::initializeSerialErrorTexts();
    EXPECT_EQ(serial::SerialPortError(serial::SerialErrorCode::openFailed, 2).message(),
              L"COM-Port l\u00E4sst sich nicht \u00F6ffnen (Windows-Fehlercode: 2)");
    EXPECT_EQ(serial::SerialPortError(serial::SerialErrorCode::openFailed).message(),
              L"COM-Port l\u00E4sst sich nicht \u00F6ffnen");
    EXPECT_EQ(serial::SerialPortError(serial::SerialErrorCode::writeFailed, 5).message(),
              L"WriteFile function failed (Windows-Fehlercode: 5)");
    serial::finalizeSerialErrorTexts();
    shutdown();
    EXPECT_EQ(serial::SerialPortError(serial::SerialErrorCode::openFailed, 2).message(),
              L"Unable to open com port (win error code: 2)");
}

}  // namespace
}  // namespace i18n
