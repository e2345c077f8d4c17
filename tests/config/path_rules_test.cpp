#include "config/path_rules.h"

#include <gtest/gtest.h>

namespace dnc
{
namespace
{

TEST(PathRules, FolderRule)
{
    const std::pair<const char *, const char *> cases[] = {
        {"", ""},
        {"/nc/progs", "/nc/progs/"},
        {"/nc/progs/", "/nc/progs/"},
        {"/", "/"},
        {"/nc/prog.nc", "/nc/prog.nc"},
        {"/nc/v1.2", "/nc/v1.2"},
        {"/nc.old/progs", "/nc.old/progs/"},
        {"progs", "progs"},
        {"C:\\NC", "C:\\NC"},
    };
    for (const auto &[path, expected] : cases)
        EXPECT_EQ(normalize_folder(path), expected) << path;
    EXPECT_EQ(normalize_folder("progs", "/home/nc/"), "/home/nc/progs");
    EXPECT_EQ(normalize_folder("/abs", "/home/nc/"), "/abs/");
}

TEST(PathRules, ExtensionRule)
{
    const std::pair<const char *, const char *> cases[] = {
        {"", ".*"},     {"  ", ".*"},    {"NC", ".NC"},     {"*.NC", ".NC"},
        {".nc", ".nc"}, {" nc ", ".nc"}, {"a.b.c", ".b.c"}, {"*.*", ".*"},
    };
    for (const auto &[extension, expected] : cases)
        EXPECT_EQ(normalize_extension(extension), expected) << extension;
}

} // namespace
} // namespace dnc
