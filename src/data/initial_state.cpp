// The initial-state archive's entry layout and the world identity.
#include "data/initial_state.h"

#include <vector>

#include "data/flex_reader.h"
#include "platform/binary_file.h"

std::string StoredFileName(const uint8_t* nameField)
{
    std::string name(1, char(nameField[0]));
    for (int i = 1; i < kStoredNameSize && nameField[i] != 0; ++i)
        name += char(nameField[i]);
    return name;
}

std::string FirstLine(std::string_view text)
{
    return std::string(text.substr(0, text.find_first_of("\r\n")));
}

std::string ReadArchivedIdentity(const std::string& gameFolder)
{
    TFlexReader reader(gameFolder + "STATIC\\INITGAME.DAT");
    std::vector<uint8_t> entry;
    if (reader.Count() > 0) {
        do {
            if (reader.Size() < kStoredNameSize)
                continue;
            reader.ReadEntry(entry);
            if (StoredFileName(entry.data()) != "IDENTITY")
                continue;
            const auto* content = reinterpret_cast<const char*>(entry.data()) + kStoredNameSize;
            return FirstLine(std::string_view(content, entry.size() - kStoredNameSize));
        } while (reader.Next());
    }
    throw EInOutError(reader.Path() + ": no IDENTITY entry");
}
