#include "german_locale.h"

#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace dnc::test
{

namespace
{

std::unique_ptr<QTemporaryDir> g_locale_dir;

bool set_german()
{
    return std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
}

// Compiles de_DE.UTF-8 into a temporary folder (once per test process) and
// points the C library at it.
bool build_german_locale()
{
    if (g_locale_dir)
        return false;
    g_locale_dir = std::make_unique<QTemporaryDir>();
    if (!g_locale_dir->isValid())
        return false;
    QProcess localedef;
    localedef.start(QStringLiteral("localedef"),
                    {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"),
                     QStringLiteral("UTF-8"),
                     g_locale_dir->filePath(QStringLiteral("de_DE.UTF-8"))});
    if (!localedef.waitForFinished(60000) || localedef.exitCode() != 0)
        return false;
    ::setenv("LOCPATH", g_locale_dir->path().toLocal8Bit().constData(), 1);
    return set_german();
}

} // namespace

void GermanLocale::SetUpTestSuite()
{
    if (!set_german())
        build_german_locale();
    if (!c_locale_uses_comma())
        std::fprintf(stderr, "de_DE.UTF-8 unavailable: only Qt's default locale is German\n");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    ASSERT_EQ(QLocale().toString(2.5), QStringLiteral("2,5"));
}

void GermanLocale::TearDownTestSuite()
{
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(QLocale::c());
}

bool GermanLocale::c_locale_uses_comma()
{
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", 2.5);
    return std::strcmp(text, "2,5") == 0;
}

} // namespace dnc::test
