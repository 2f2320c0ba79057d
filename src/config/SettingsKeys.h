#pragma once
// Every key of Telvane.ini, with its section and the default that applies where it is read.
// Three keys are read with different defaults at two places (ComPortSpeed, Period, SMSC): each
// place has its own entry, so the difference stays visible instead of being repeated as a
// literal at the call site.

#include <array>

namespace telvane::config {

/// One key of the settings file as one call site reads it. `defaultValue` is UTF-8.
struct Setting {
    const char* section;
    const char* key;
    const char* defaultValue;
};

namespace setting {
inline constexpr Setting ComPort{"Options", "ComPort", "1"};
/// Speed used when the port is opened.
inline constexpr Setting ComPortSpeedAtPortOpen{"Options", "ComPortSpeed", "9600"};
/// Speed the options dialog shows when the key is missing.
inline constexpr Setting ComPortSpeedInOptions{"Options", "ComPortSpeed", "19200"};
inline constexpr Setting ComPortOptions{"Options", "ComPortOptions", "n,8,1"};
/// Poll period in seconds when the gateway starts.
inline constexpr Setting PeriodAtStart{"Options", "Period", "10"};
/// Poll period the options dialog shows when the key is missing.
inline constexpr Setting PeriodInOptions{"Options", "Period", "60"};
inline constexpr Setting Log{"Options", "Log", "0"};
/// Seconds to wait for the network's confirmation (+CMGS) of a submitted message; modules
/// document up to 120.
inline constexpr Setting SendTimeout{"Options", "SendTimeout", "120"};
/// The SIM's PIN, entered once when the SIM asks for it; empty: none is entered.
inline constexpr Setting PIN{"Options", "PIN", ""};
/// "standard": the fixed pauses and the read timing phones have long been driven with;
/// "fast": no fixed pauses, an answer ends at its final result code, echo off.
inline constexpr Setting Pacing{"Options", "Pacing", "standard"};
// A modem's own keys: in [Options] for the first modem, in "[Modem <name>]" for each other one.
/// 0: the modem sends nothing (kept for receiving).
inline constexpr Setting ModemSends{"Options", "Send", "1"};
/// 0: the modem's messages are left in it (kept for sending).
inline constexpr Setting ModemReceives{"Options", "Receive", "1"};
/// Number prefixes the modem takes first ("+7916 +7926"); empty: any number alike.
inline constexpr Setting Prefixes{"Options", "Prefixes", ""};
/// 1: with Prefixes, the modem sends no other number.
inline constexpr Setting PrefixesOnly{"Options", "Only", "0"};
/// Parts the modem may send a minute and a day (an operator's caps); empty: no cap.
inline constexpr Setting PerMinute{"Options", "PerMinute", ""};
inline constexpr Setting PerDay{"Options", "PerDay", ""};
/// The modem's name in statuses; the default is its section's name.
inline constexpr Setting ModemName{"Options", "Name", ""};
/// 1: the tray application notifies of each poll that received or sent messages.
inline constexpr Setting Notify{"Options", "Notify", "0"};
/// Folders: the default is the home folder, the key name and a separator (Settings::folder).
inline constexpr Setting Send{"Folders", "Send", ""};
inline constexpr Setting Receive{"Folders", "Receive", ""};
inline constexpr Setting Logs{"Folders", "Logs", ""};
/// Where a sent outgoing file goes, with its "<id>.status" (state sent, the parts' message
/// references), read at Start like Send. Empty: the file is deleted once sent, as always.
inline constexpr Setting Sent{"Folders", "Sent", ""};
/// Where an outgoing file goes, with its "<id>.status", when it can never be sent: its number
/// or text is refused, the phone answered a +CMS ERROR that refuses the message itself, or
/// RetryLimit attempts failed. Empty: such a file stays in Send, as always.
inline constexpr Setting Failed{"Folders", "Failed", ""};
/// Days the files of Sent and Failed are kept; older ones are removed once a day. 0 keeps them.
inline constexpr Setting FolderKeepDays{"Folders", "KeepDays", "0"};
inline constexpr Setting FileType{"SMS", "FileType", "0"};
/// Separator of outgoing-message files; see Settings::separator.
inline constexpr Setting Split{"SMS", "Split", "\t"};
inline constexpr Setting Number{"SMS", "Number", "1"};
inline constexpr Setting AutoScroll{"SMS", "AutoScroll", "0"};
inline constexpr Setting ToLatin{"SMS", "ToLatin", "0"};
inline constexpr Setting Report{"SMS", "Report", "0"};
/// SMS-centre number put into outgoing messages; empty leaves the phone's own.
inline constexpr Setting SMSCWhenSending{"SMS", "SMSC", ""};
/// SMS-centre number the options dialog shows when the key is missing.
inline constexpr Setting SMSCInOptions{"SMS", "SMSC", "79xxxxxxxxx"};
inline constexpr Setting LongID{"SMS", "LongID", "1"};
/// With several modems: submissions refused in a row after which a modem takes no message for
/// BlockMinutes, leaving the queue to the others.
inline constexpr Setting BlockAfter{"SMS", "BlockAfter", "3"};
inline constexpr Setting BlockMinutes{"SMS", "BlockMinutes", "10"};
/// Attempts after which an outgoing file that could not be sent counts as failed (moved to
/// Failed, or left in Send and tried no more); 0 keeps trying. Read at each poll. While Sent,
/// Failed or this key is set, a waiting file has its "<id>.status" beside it in Send with the
/// attempts so far and the last error.
inline constexpr Setting RetryLimit{"SMS", "RetryLimit", "0"};
/// What becomes of a message whose part went to the phone and whose confirmation was lost to
/// a stop or a vanished port: "resend" (the default: it is submitted again, so nothing is lost,
/// at the risk of a second copy) or "hold" (its file is renamed "<name>.unconfirmed", or moved
/// to Failed, its state is "unconfirmed", and a person decides; renaming it back sends it).
inline constexpr Setting Unconfirmed{"SMS", "Unconfirmed", "resend"};
/// The character set of outgoing-message files, the day's text file and "Log.txt", read at
/// Start: "cp1251" (Windows-1251) or "utf-8" (any other value counts as cp1251). Either way a
/// file starting with a UTF-8 byte order mark is read as UTF-8, with cp1251 so is valid UTF-8
/// holding Cyrillic that is no plausible Windows-1251 text, and with utf-8 a file that is not
/// valid UTF-8 is read as Windows-1251; "Log.txt" names a file read otherwise than set. With
/// utf-8 the day's file keeps every character (no "?"); part files are UTF-8 always.
inline constexpr Setting Encoding{"SMS", "Encoding", "cp1251"};
inline constexpr Setting Delivered{"SMSreports", "Delivered", "Доставлено"};
/// The key is spelled "Sepended" in every existing settings file.
inline constexpr Setting Sepended{"SMSreports", "Sepended", "Отложено"};
inline constexpr Setting Deleted{"SMSreports", "Deleted", "Удалено"};
/// Programs run for each message event, read at each event: the program, then its arguments,
/// separated by blanks; "..." keeps blanks in one argument and """ stands for a quote. No shell
/// reads the value. The message is in the environment: TELVANE_EVENT, TELVANE_ID,
/// TELVANE_NUMBER, TELVANE_TIME, TELVANE_TEXT (UTF-8), TELVANE_FILE, TELVANE_STATUS. Hooks run
/// in the home folder, one at a time, in order, after the message is on the disk; empty runs
/// nothing. OnReceive: a message was stored in the day's file.
inline constexpr Setting OnReceive{"Hooks", "OnReceive", ""};
/// An outgoing message was sent (its status file written, the file moved or deleted).
inline constexpr Setting OnSent{"Hooks", "OnSent", ""};
/// An outgoing message failed for good (see Failed and RetryLimit).
inline constexpr Setting OnFailed{"Hooks", "OnFailed", ""};
/// A delivery report was matched to a sent message (needs Report=1).
inline constexpr Setting OnReport{"Hooks", "OnReport", ""};
/// Seconds a hook may run before it and what it started are killed ("Log.txt" says so).
inline constexpr Setting TimeLimit{"Hooks", "TimeLimit", "30"};
/// The HTTP interface, read when the program starts: "address:port" to listen on ("127.0.0.1:8080",
/// "[::1]:8080", port 0 picks a free one); empty: no interface.
inline constexpr Setting HttpListen{"Http", "Listen", ""};
/// The bearer token every request needs but the page's own files; required unless Listen is a
/// loopback address.
inline constexpr Setting HttpToken{"Http", "Token", ""};
/// PEM files of the certificate and its key: both set, the interface speaks HTTPS only.
inline constexpr Setting HttpCertificate{"Http", "Certificate", ""};
inline constexpr Setting HttpKey{"Http", "Key", ""};
/// 1: /metrics answers without the token (for a scraper on a trusted network).
inline constexpr Setting HttpMetricsOpen{"Http", "MetricsOpen", "0"};
/// URL that each message event (receive, sent, failed, report) is POSTed to as JSON, signed
/// with HMAC-SHA256 keyed with Token; empty: none. Events wait in the store meanwhile.
inline constexpr Setting HttpWebhook{"Http", "Webhook", ""};
/// Requests a second one client address may make (a burst of as many); more answer 429.
inline constexpr Setting HttpRequestsPerSecond{"Http", "RequestsPerSecond", "20"};
/// Connections the interface keeps open at once, from everyone; one more is closed at once.
/// Never more than half the process's descriptor limit, so that the gateway's own files always
/// open.
inline constexpr Setting HttpMaxConnections{"Http", "MaxConnections", "256"};
/// Likewise, from one client address.
inline constexpr Setting HttpMaxConnectionsPerClient{"Http", "MaxConnectionsPerClient", "64"};
/// Days the store keeps finished messages (sent, delivered, failed), delivered webhook events and
/// received messages; older ones are removed once a day. 0 keeps everything.
inline constexpr Setting StoreKeepDays{"Store", "KeepDays", "365"};
/// Where messages are recorded, read when the program starts: "sqlite" (telvane.db in the home
/// folder) or "postgresql" (a server that several gateways share, at Url).
inline constexpr Setting StoreBackend{"Store", "Backend", "sqlite"};
/// The PostgreSQL server and database, as a libpq connection string or URL
/// ("postgresql:///telvane?host=/run/postgresql"); a password in it or in PGPASSFILE is never
/// printed.
inline constexpr Setting StoreUrl{"Store", "Url", ""};
/// This gateway's name among those that share a store; empty: the computer's name.
inline constexpr Setting StoreHost{"Store", "Host", ""};
/// Seconds a gateway holds a message it took (renewed at each step, and never shorter than
/// twice SendTimeout): a gateway that stopped without a word loses it to the others after that.
inline constexpr Setting StoreLease{"Store", "Lease", "60"};

/// Every entry above, in the order of the file's sections.
inline constexpr std::array kAll{
    ComPort,
    ComPortSpeedAtPortOpen,
    ComPortSpeedInOptions,
    ComPortOptions,
    PeriodAtStart,
    PeriodInOptions,
    Log,
    SendTimeout,
    Pacing,
    PIN,
    ModemSends,
    ModemReceives,
    Prefixes,
    PrefixesOnly,
    PerMinute,
    PerDay,
    ModemName,
    Notify,
    Send,
    Receive,
    Logs,
    Sent,
    Failed,
    FolderKeepDays,
    FileType,
    Split,
    Number,
    AutoScroll,
    ToLatin,
    Report,
    SMSCWhenSending,
    SMSCInOptions,
    LongID,
    BlockAfter,
    BlockMinutes,
    RetryLimit,
    Unconfirmed,
    Encoding,
    Delivered,
    Sepended,
    Deleted,
    OnReceive,
    OnSent,
    OnFailed,
    OnReport,
    TimeLimit,
    HttpListen,
    HttpToken,
    HttpCertificate,
    HttpKey,
    HttpMetricsOpen,
    HttpWebhook,
    HttpRequestsPerSecond,
    HttpMaxConnections,
    HttpMaxConnectionsPerClient,
    StoreKeepDays,
    StoreBackend,
    StoreUrl,
    StoreHost,
    StoreLease,
};
}  // namespace setting

}  // namespace telvane::config
