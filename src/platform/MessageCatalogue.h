// The message catalogue: the user-visible texts of the launcher in 22 languages.
//
// Each locale table holds kMessageCount entries followed by a null pointer:
// entry 0 is the locale key that `LANG` is matched against, entries 1 to 45
// are the messages. The English table has every entry; a translated table may
// leave an entry null (those from 39 on have no translation yet), and the
// English text stands in for it. Every translation has exactly the "%s"
// placeholders of its English entry and no other conversion, so one argument
// fills any entry of any language. Entry 18 is the progress mark "." in
// every locale. Texts are UTF-8 and are written out byte for byte.
//
// The rest of the launcher names an entry by its id: the values of UIStatus
// and MessageIdentifier (PlatformImpl.h) are the ids themselves. To add a
// message:
//   1. append its text as entry kMessageCount to the English table in
//      MessageCatalogue.cpp, and its translations, each with the same "%s"
//      placeholders, to the tables in MessageTranslations.cpp (a table
//      without it shows the English text);
//   2. raise kMessageCount by one;
//   3. add an enumerator with the new id to MessageIdentifier and fetch the
//      text with PlatformImpl::getMessageText.
#pragma once

const int kMessageCount = 46;
const int kLocaleCount = 22;
const int kMessageBufferSize = 1024;

extern const char* const unixlauncher_msg_en[kMessageCount + 1];
extern const char* const unixlauncher_msg_cs[kMessageCount + 1];
extern const char* const unixlauncher_msg_da[kMessageCount + 1];
extern const char* const unixlauncher_msg_de[kMessageCount + 1];
extern const char* const unixlauncher_msg_el[kMessageCount + 1];
extern const char* const unixlauncher_msg_es[kMessageCount + 1];
extern const char* const unixlauncher_msg_fi[kMessageCount + 1];
extern const char* const unixlauncher_msg_fr[kMessageCount + 1];
extern const char* const unixlauncher_msg_hu[kMessageCount + 1];
extern const char* const unixlauncher_msg_it[kMessageCount + 1];
extern const char* const unixlauncher_msg_ja[kMessageCount + 1];
extern const char* const unixlauncher_msg_ko[kMessageCount + 1];
extern const char* const unixlauncher_msg_nl[kMessageCount + 1];
extern const char* const unixlauncher_msg_no[kMessageCount + 1];
extern const char* const unixlauncher_msg_pl[kMessageCount + 1];
extern const char* const unixlauncher_msg_pt[kMessageCount + 1];
extern const char* const unixlauncher_msg_pt_BR[kMessageCount + 1];
extern const char* const unixlauncher_msg_ru[kMessageCount + 1];
extern const char* const unixlauncher_msg_sv[kMessageCount + 1];
extern const char* const unixlauncher_msg_tr[kMessageCount + 1];
extern const char* const unixlauncher_msg_zh[kMessageCount + 1];
extern const char* const unixlauncher_msg_zh_TW[kMessageCount + 1];

// The locale tables in matching order, followed by a null pointer. Index 0
// (English) is the fallback; "pt_BR" and "zh_TW" follow "pt" and "zh", and
// win over them only through the first, five-character pass of get_locale.
extern const char* const* const msg_locale_table[kLocaleCount + 1];

// Index into msg_locale_table for the current value of `LANG`, read anew on
// every call. Unset, empty, "C" or an unknown value gives 0 (English).
// First pass: the first key equal to the value over at most five characters
// (so "pt_BR" matches "pt_BR.ISO8859-1", while "de" matches only "de").
// Second pass: the first key that is a prefix of the value ("de_AT" -> "de",
// "japanese" -> "ja").
int get_locale();

// Entry `id` of the current locale, formatted printf-style with `arg` (a C
// string, may be null, then taken as "") filling its "%s"; the English entry
// when the locale has none. An id outside 0 to 45 gives "Error displaying message: id(<id>)". The
// result is a new, zero-filled buffer of kMessageBufferSize bytes from `new char[]`; the caller
// releases it with `delete[]`. A text that would not fit is cut to
// kMessageBufferSize - 1 bytes, so the buffer always ends with a NUL.
char* get_msg(int id, void* arg);
