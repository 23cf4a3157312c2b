#include "player/play_start.h"

#include <gtest/gtest.h>

namespace orvane::test {
namespace {

struct Absolute {
    const char* path;
    const char* current;
    char separator;
    const char* expected;
};

// As a shell's current folder makes a path absolute, by name alone.
TEST(AbsolutePath, TakenFromTheCurrentFolderByName)
{
    const Absolute cases[] = {
        {"Album", "/home/u/Music", '/', "/home/u/Music/Album"},
        {"./Album/", "/home/u/Music", '/', "/home/u/Music/Album"},
        {"../Other/x.mp3", "/home/u/Music", '/', "/home/u/Other/x.mp3"},
        {"/srv//music/./a/../b", "/home", '/', "/srv/music/b"},
        {"../../..", "/home/u", '/', "/"},
        {".", "/", '/', "/"},
        {"a b/c\xff.mp3", "/", '/', "/a b/c\xff.mp3"},
        {"", "/home", '/', ""},
        {"Album", "C:\\Users\\u\\Music", '\\', "C:\\Users\\u\\Music\\Album"},
        {"..\\Other/x.mp3", "C:\\Users\\u\\Music", '\\', "C:\\Users\\u\\Other\\x.mp3"},
        {"D:/Music\\", "C:\\Users", '\\', "D:\\Music"},
        {"D:", "C:\\Users", '\\', "D:\\"},
        {"\\Music", "D:\\Users", '\\', "D:\\Music"},
        {"..\\..\\..", "C:\\Users\\u", '\\', "C:\\"},
        {"\\\\nas\\share\\..\\..\\Music", "C:\\", '\\', "\\\\nas\\share\\Music"},
        {"Album", "\\\\nas\\share\\Music", '\\', "\\\\nas\\share\\Music\\Album"},
        {"\\Album", "\\\\nas\\share\\Music", '\\', "\\\\nas\\share\\Album"},
    };
    for (const Absolute& c : cases)
        EXPECT_EQ(absolutePath(c.path, c.current, c.separator), c.expected) << c.path << " in " << c.current;
}

} // namespace
} // namespace orvane::test
