// The yardstick for the --check-feed benchmark: pugixml loading a file from
// disk with the options the feed reader parses with, in a process of its own.
#include <pugixml.hpp>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fputs("usage: pugixml_load FILE\n", stderr);
        return 2;
    }
    pugi::xml_document document;
    const pugi::xml_parse_result result =
        document.load_file(argv[1], pugi::parse_default | pugi::parse_fragment, pugi::encoding_utf8);
    return result ? 0 : 1;
}
