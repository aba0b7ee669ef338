#pragma once
// What each formatted string-table text takes, written down once for the
// callers, which are checked against it when they are compiled, and for a
// test, which checks the resource script's texts against it. Any thread.
#include <cstddef>
#include <type_traits>

#include "resources/resource_ids.h"

// A text's printf conversions in order: 'c' a character (%c), 's' a wide
// text (%s), 'd' an int (%d), 'I' a 64-bit number (%I64d).
struct text_conversions {
    int id;
    const char* kinds;
};

constexpr text_conversions FORMATTED_TEXTS[] = {
    {IDS_NOT_AN_IMAGE, "s"},         {IDS_FORMATTING, "c"},      {IDS_CHKDSK_ADVICE, "c"},
    {IDS_NOT_ENOUGH_SPACE, "d"},     {IDS_COPYING, "css"},       {IDS_CREATING_SYSLINUX_CFG, "c"},
    {IDS_COPYING_UEFI_LOADERS, "c"}, {IDS_BITLOCKER_DRIVE, "c"}, {IDS_BOOT_MENU_ENTRY_LEFT, "s"},
    {IDS_DIFFERS_AT, "csI"},         {IDS_FILE_SHORT, "csI"},    {IDS_READ_BACK_FAILED, "cs"},
    {IDS_DRIVE_NOT_VISIBLE, "c"},
};

// The conversions of text `id`: "" for a text that is shown as it stands.
constexpr const char* conversions_of(int id)
{
    for (const text_conversions& text : FORMATTED_TEXTS)
        if (text.id == id)
            return text.kinds;
    return "";
}

// The conversion an argument of type T fits.
template <typename T> constexpr char conversion_for()
{
    using U = std::decay_t<T>;
    if constexpr (std::is_same_v<U, char> || std::is_same_v<U, wchar_t>)
        return 'c';
    else if constexpr (std::is_same_v<U, const wchar_t*> || std::is_same_v<U, wchar_t*>)
        return 's';
    else if constexpr (std::is_same_v<U, int>)
        return 'd';
    else if constexpr (std::is_same_v<U, long long>)
        return 'I';
    else
        return '?';
}

// Whether arguments of types Args fit text `ID`'s conversions, one for one.
template <int ID, typename... Args> constexpr bool text_takes()
{
    constexpr char given[] = {conversion_for<Args>()..., '\0'};
    const char* wanted = conversions_of(ID);
    std::size_t i = 0;
    for (; given[i] != '\0'; ++i)
        if (wanted[i] != given[i])
            return false;
    return wanted[i] == '\0';
}
