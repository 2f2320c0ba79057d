#pragma once
// The dialogue of the gateway's care for the modem, one exchange a row (V.250, 3GPP TS 27.007
// and TS 27.005): what goes out, what the port log calls it, the answer that ends it and its
// time limit. The phone test goes in lower case and every command ends in CR alone, as phones
// have long been driven; the port logs show them so. Private to the engine.

#include <QByteArray>
#include <array>

#include "contracts/PhoneLink.h"

namespace telvane::gateway::commands {

/// Seconds for an answer; entering a PIN takes the SIM longer.
inline constexpr int kAnswerS = 5;
inline constexpr int kPinS = 10;

inline contracts::Exchange exchange(const char* command, const char* action,
                                    int seconds = kAnswerS) {
    return {command, QString::fromUtf8(action), QStringLiteral("OK"), seconds};
}

/// "at": does the phone answer at all. "www" names it in the port log.
inline contracts::Exchange test() { return exchange("at\r", "www"); }
/// PDU mode: a phone left in text mode by another program fails every later PDU command.
inline contracts::Exchange pduMode() { return exchange("AT+CMGF=0\r", "Инициализация"); }
inline contracts::Exchange echoOff() { return exchange("ATE0\r", "Эхо выключено"); }
/// Numbered errors, so that a refusal in "Log.txt" says why (TS 27.007 9.1).
inline contracts::Exchange errorNumbers() { return exchange("AT+CMEE=1\r", "Коды ошибок"); }
inline contracts::Exchange model() { return exchange("AT+CGMM\r", "Модель модема"); }
inline contracts::Exchange sim() { return exchange("AT+CPIN?\r", "Проверка SIM-карты"); }
inline contracts::Exchange enterPin(const QByteArray& pin) {
    return {"AT+CPIN=\"" + pin + "\"\r", QStringLiteral("Ввод PIN-кода"), QStringLiteral("OK"),
            kPinS};
}
inline contracts::Exchange registration() { return exchange("AT+CREG?\r", "Регистрация в сети"); }
inline contracts::Exchange signal() { return exchange("AT+CSQ\r", "Уровень сигнала"); }
inline contracts::Exchange networkOperator() { return exchange("AT+COPS?\r", "Оператор сети"); }

/// TS 27.005 3.4.1: new messages stored (<mt> 1) and status reports stored (<ds> 2), indications
/// buffered while the line is busy (<mode> 2). Modems refuse values they lack (a SIM800 <ds> 2,
/// an MC75i any <bfr> but 1, some <mode> 2 only): each next row gives one more up, and a
/// missing <bfr> keeps the modem's own.
inline constexpr std::array kRoutings{
    "AT+CNMI=2,1,0,2,0\r", "AT+CNMI=2,1,0,2\r", "AT+CNMI=2,1,0,0,0\r",
    "AT+CNMI=2,1,0,0\r",   "AT+CNMI=1,1,0,0\r", "AT+CNMI=0,0,0,0\r",
};
inline contracts::Exchange routing(const char* cnmi) {
    return exchange(cnmi, "Приём SMS в память");
}

}  // namespace telvane::gateway::commands
