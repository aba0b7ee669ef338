// Reading an entry's identifier from what bcdedit printed, in any language.
#include <gtest/gtest.h>

#include <string>

#include "install/bcd_text.h"

namespace {

std::string found(const char* text)
{
    char id[BCD_ID_SIZE];
    bool ok = find_bcd_identifier(text, id);
    EXPECT_EQ(ok, id[0] != '\0');
    return id;
}

TEST(BcdText, TheIdentifierInAnyLanguageAndNothingElse)
{
    const std::string id = "{0b5F9a7c-1d2e-11ef-8a3b-00155d01a2b3}";
    for (const std::string& said :
         {"The entry " + id + " was successfully created.\r\n",
          "Der Eintrag " + id + " wurde erfolgreich erstellt.\r\n",
          "\xd2\xd1\xb3\xc9\xb9\xa6\xb4\xb4\xbd\xa8\xcf\xee " + id + "\xa1\xa3\r\n",
          // Well-known names and broken shapes come before it.
          "{bootmgr} {current} {0b5f9a7c-1d2e-11ef-8a3b-00155d01a2b} {0b5f9a7c-1d2e-11ef-8a3b"
          "-00155d01a2b3x " +
              id})
        EXPECT_EQ(found(said.c_str()), id) << said;

    for (const char* none :
         {"", "{", "{bootmgr}", "The parameter is incorrect.",
          "{0b5f9a7c-1d2e-11ef-8a3b-00155d01a2b3", "{0b5f9a7c-1d2e-11ef-8a3b-00155d01a2g3}",
          "{0b5f9a7c-1d2e-11ef-8a3b00155d01a2b3-}", "{x\" /delete {bootmgr}"})
        EXPECT_EQ(found(none), "") << none;
}

} // namespace
