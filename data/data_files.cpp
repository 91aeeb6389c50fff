// Writes the files an installation gives the desktop, from the player's own
// table of media kinds, so that what the desktop offers the player and what
// the player plays never drift apart:
//   quorvana.desktop   the menu entry, with every kind's MIME type
//   quorvana-mime.xml  the types of our own for the kinds the desktop does not know
#include "core/media_kinds.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace {

bool write(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::fprintf(stderr, "quorvana-data-files: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

std::string desktopEntry()
{
    std::string types;
    for (const media_kinds::Kind& kind : media_kinds::all()) {
        const std::string type = kind.mimeType;
        if (types.find(type + ";") == std::string::npos)
            types += type + ";";
    }
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Quorvana\n"
           "GenericName=Multimedia Player\n"
           "Comment=Play MIDI songs, wave sounds and AVI videos, with a GM or GS reset before every song\n"
           "Exec=quorvana %f\n"
           "Icon=quorvana\n"
           "Terminal=false\n"
           "Categories=AudioVideo;Audio;Player;Midi;\n"
           "Keywords=MIDI;GM;GS;reset;synthesizer;wave;AVI;\n"
           "MimeType=" + types + "\n";
}

std::string mimePackage()
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
    for (const media_kinds::Kind& kind : media_kinds::all()) {
        if (!*kind.mimeParent)
            continue;
        xml += std::string("  <mime-type type=\"") + kind.mimeType + "\">\n"
               "    <comment>" + kind.mimeComment + "</comment>\n"
               "    <sub-class-of type=\"" + kind.mimeParent + "\"/>\n"
               "    <glob pattern=\"*" + kind.extension + "\"/>\n"
               "  </mime-type>\n";
    }
    return xml + "</mime-info>\n";
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: quorvana-data-files OUTPUT_FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    return write(folder + "/quorvana.desktop", desktopEntry()) && write(folder + "/quorvana-mime.xml", mimePackage())
               ? 0
               : 1;
}
