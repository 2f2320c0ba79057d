#pragma once
// The store's tables on SQLite, one step per schema version: a database is brought from the
// version in its user_version to the newest, each step in a transaction of its own.

#include <array>

namespace telvane::store::sqlite {

inline constexpr std::array kMigrations = {
    // 1: the first store.
    R"sql(
CREATE TABLE outgoing (
    seq INTEGER PRIMARY KEY AUTOINCREMENT,
    id TEXT NOT NULL UNIQUE,
    origin TEXT NOT NULL,
    file_name TEXT NOT NULL DEFAULT '',
    file_size INTEGER NOT NULL DEFAULT 0,
    file_modified INTEGER NOT NULL DEFAULT 0,
    file_sha256 TEXT NOT NULL DEFAULT '',
    in_send INTEGER NOT NULL DEFAULT 0,
    place TEXT NOT NULL DEFAULT '',
    number TEXT NOT NULL,
    text TEXT NOT NULL,
    report_wanted INTEGER NOT NULL DEFAULT 0,
    state TEXT NOT NULL,
    destination TEXT NOT NULL DEFAULT '',
    attempts INTEGER NOT NULL DEFAULT 0,
    error_number INTEGER,
    error_text TEXT NOT NULL DEFAULT '',
    created INTEGER NOT NULL,
    updated INTEGER NOT NULL,
    sent_at INTEGER,
    last_reference INTEGER,
    report_status INTEGER,
    report_time INTEGER,
    note TEXT NOT NULL DEFAULT '',
    claim INTEGER NOT NULL DEFAULT 0,
    modem TEXT NOT NULL DEFAULT '',
    pinned TEXT NOT NULL DEFAULT '',
    host TEXT NOT NULL DEFAULT '',
    claimed_by TEXT NOT NULL DEFAULT '',
    lease_until INTEGER
);
CREATE UNIQUE INDEX outgoing_file_in_send
    ON outgoing(host, file_name, file_size, file_modified, file_sha256) WHERE in_send = 1;
CREATE INDEX outgoing_by_state ON outgoing(state, seq);
CREATE INDEX outgoing_sent_by ON outgoing(modem, sent_at);
CREATE INDEX outgoing_awaiting_report
    ON outgoing(last_reference) WHERE report_wanted = 1 AND state IN ('sent', 'pending');
CREATE TABLE outgoing_parts (
    seq INTEGER NOT NULL REFERENCES outgoing(seq) ON DELETE CASCADE,
    part INTEGER NOT NULL,
    pdu TEXT NOT NULL,
    tpdu_length INTEGER NOT NULL,
    state TEXT NOT NULL,
    reference INTEGER,
    PRIMARY KEY (seq, part)
) WITHOUT ROWID;
CREATE TABLE incoming (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    key BLOB NOT NULL UNIQUE,
    kind TEXT NOT NULL,
    sender TEXT NOT NULL,
    time_stamp TEXT NOT NULL,
    text TEXT NOT NULL,
    file TEXT NOT NULL DEFAULT '',
    number TEXT NOT NULL DEFAULT '',
    stored INTEGER,
    mark TEXT NOT NULL DEFAULT '',
    modem TEXT NOT NULL DEFAULT ''
);
CREATE INDEX incoming_inbox ON incoming(id) WHERE kind = 'message' AND stored IS NOT NULL;
CREATE INDEX incoming_by_age ON incoming(stored);
CREATE TABLE webhook_events (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    body BLOB NOT NULL,
    created INTEGER NOT NULL,
    delivered INTEGER
);
-- No index on "delivered": marking an event delivered then changes one page, not two; the
-- sender looks only past the last event it delivered.
CREATE TABLE modems (
    host TEXT NOT NULL,
    name TEXT NOT NULL,
    port TEXT NOT NULL DEFAULT '',
    model TEXT NOT NULL DEFAULT '',
    operator TEXT NOT NULL DEFAULT '',
    registration INTEGER,
    signal INTEGER,
    in_service INTEGER NOT NULL DEFAULT 0,
    sent_today INTEGER NOT NULL DEFAULT 0,
    limit_left INTEGER,
    blocked_until INTEGER,
    seen INTEGER NOT NULL,
    PRIMARY KEY (host, name)
);
CREATE TABLE leases (
    name TEXT PRIMARY KEY,
    host TEXT NOT NULL,
    until INTEGER NOT NULL
);
CREATE TABLE facts (
    key TEXT PRIMARY KEY,
    value TEXT NOT NULL
);
)sql",
    // 2: the traffic per hour (the status page's chart) counts what was sent, received and
    // failed in a range of time, each from an index that holds all it needs (the column of
    // its condition too: SQLite would otherwise read every row to check it).
    R"sql(
CREATE INDEX outgoing_by_sent_at ON outgoing(sent_at) WHERE sent_at IS NOT NULL;
CREATE INDEX outgoing_failed_by_time ON outgoing(updated, state) WHERE state = 'failed';
CREATE INDEX incoming_messages_by_stored ON incoming(stored, kind) WHERE kind = 'message';
)sql",
};

}  // namespace telvane::store::sqlite
