#include <string>
#include <string_view>

#include "codec/Submit.h"

namespace telvane::codec {

namespace {

// One row per refusal: the code of the HTTP interface, the English of logs and the command
// line, the outbox's own words for "Log.txt". {limit} stands for the row's limit, {at} for where
// in the field the fault is, in each language's own way.
struct Row {
    SubmitErrorCode code;
    std::string_view api;
    std::string_view english;
    std::string_view russian;
    std::size_t limit = 0;
};

constexpr Row kRows[] = {
    {SubmitErrorCode::EmptyNumber, "empty_number", "number: empty", "номер пуст"},
    {SubmitErrorCode::NumberNotDigits, "number_not_digits",
     "number: only digits and one leading '+' are allowed{at}",
     "в номере есть знаки кроме цифр{at}"},
    {SubmitErrorCode::NumberTooLong, "number_too_long", "number: more than {limit} digits{at}",
     "в номере больше {limit} цифр", kMaxAddressDigits},
    {SubmitErrorCode::SmscNotDigits, "smsc_setting",
     "SMSC: only digits and one leading '+' are allowed{at}",
     "в номере SMS-центра (SMSC) есть знаки кроме цифр{at}"},
    {SubmitErrorCode::SmscTooLong, "smsc_setting", "SMSC: more than {limit} digits{at}",
     "в номере SMS-центра (SMSC) больше {limit} цифр", kMaxAddressDigits},
    {SubmitErrorCode::EmptyText, "empty_text",
     "text: empty once line breaks and spaces are removed", "текст пуст"},
    {SubmitErrorCode::InvalidCharacter, "invalid_character",
     "text: a code point that is not a character{at}", "недопустимый знак в тексте{at}"},
    {SubmitErrorCode::TooManyParts, "too_many_parts", "text: needs more than {limit} parts{at}",
     "текст длиннее {limit} частей", kMaxParts},
};

std::string filled(std::string_view pattern, std::size_t limit, const std::string& at) {
    std::string text(pattern);
    for (const auto& [name, value] :
         {std::pair<std::string_view, std::string>{"{limit}", std::to_string(limit)}, {"{at}", at}})
        if (const auto found = text.find(name); found != std::string::npos)
            text.replace(found, name.size(), value);
    return text;
}

}  // namespace

SubmitErrorTexts textsOf(const SubmitError& error) {
    for (const Row& row : kRows) {
        if (row.code != error.code) continue;
        return {
            std::string(row.api),
            filled(row.english, row.limit, " (offset " + std::to_string(error.offset) + ")"),
            filled(row.russian, row.limit, " (позиция " + std::to_string(error.offset + 1) + ")")};
    }
    return {"refused", "unknown error", "неизвестная ошибка"};
}

std::string describe(const SubmitError& error) { return textsOf(error).english; }

}  // namespace telvane::codec
