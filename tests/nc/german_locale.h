// A test fixture that runs its tests with German number formatting: the C
// library's locale set to de_DE.UTF-8 (decimal comma; compiled into a
// temporary folder with localedef when the machine has not installed it) and
// Qt's default locale German. Code that writes or reads NC numbers must still
// use ".".
#pragma once

#include <gtest/gtest.h>

namespace dnc::test
{

class GermanLocale : public ::testing::Test
{
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();

    // True when the C library really formats 2.5 as "2,5" in these tests.
    static bool c_locale_uses_comma();
};

} // namespace dnc::test
