#pragma once
// The store's tables on PostgreSQL: the same tables as on SQLite, one step per schema version,
// each run once under an advisory lock however many gateways start at the same moment. Times
// are milliseconds since the epoch in BIGINT columns, as on SQLite: nothing depends on the
// server's time zone.

#include <array>

namespace telvane::store::postgres {

/// The advisory lock that migrations take: one key for Telvane's schema.
inline constexpr long long kMigrationLock = 0x54656c76616e65;  // "Telvane"

inline constexpr std::array kMigrations = {
    // 1: the first store.
    R"sql(
CREATE TABLE outgoing (
    seq BIGSERIAL PRIMARY KEY,
    id TEXT NOT NULL UNIQUE,
    origin TEXT NOT NULL,
    file_name TEXT NOT NULL DEFAULT '',
    file_size BIGINT NOT NULL DEFAULT 0,
    file_modified BIGINT NOT NULL DEFAULT 0,
    file_sha256 TEXT NOT NULL DEFAULT '',
    in_send SMALLINT NOT NULL DEFAULT 0,
    place TEXT NOT NULL DEFAULT '',
    number TEXT NOT NULL,
    text TEXT NOT NULL,
    report_wanted SMALLINT NOT NULL DEFAULT 0,
    state TEXT NOT NULL,
    destination TEXT NOT NULL DEFAULT '',
    attempts INTEGER NOT NULL DEFAULT 0,
    error_number INTEGER,
    error_text TEXT NOT NULL DEFAULT '',
    created BIGINT NOT NULL,
    updated BIGINT NOT NULL,
    sent_at BIGINT,
    last_reference INTEGER,
    report_status INTEGER,
    report_time BIGINT,
    note TEXT NOT NULL DEFAULT '',
    claim BIGINT NOT NULL DEFAULT 0,
    modem TEXT NOT NULL DEFAULT '',
    pinned TEXT NOT NULL DEFAULT '',
    host TEXT NOT NULL DEFAULT '',
    claimed_by TEXT NOT NULL DEFAULT '',
    lease_until BIGINT
);
CREATE UNIQUE INDEX outgoing_file_in_send
    ON outgoing(host, file_name, file_size, file_modified, file_sha256) WHERE in_send = 1;
CREATE INDEX outgoing_by_state ON outgoing(state, seq);
CREATE INDEX outgoing_sent_by ON outgoing(modem, sent_at);
CREATE INDEX outgoing_queued ON outgoing(seq) WHERE state = 'queued';
CREATE INDEX outgoing_awaiting_report
    ON outgoing(last_reference) WHERE report_wanted = 1 AND state IN ('sent', 'pending');
CREATE TABLE outgoing_parts (
    seq BIGINT NOT NULL REFERENCES outgoing(seq) ON DELETE CASCADE,
    part INTEGER NOT NULL,
    pdu TEXT NOT NULL,
    tpdu_length INTEGER NOT NULL,
    state TEXT NOT NULL,
    reference INTEGER,
    PRIMARY KEY (seq, part)
);
CREATE TABLE incoming (
    id BIGSERIAL PRIMARY KEY,
    key BYTEA NOT NULL UNIQUE,
    kind TEXT NOT NULL,
    sender TEXT NOT NULL,
    time_stamp TEXT NOT NULL,
    text TEXT NOT NULL,
    file TEXT NOT NULL DEFAULT '',
    number TEXT NOT NULL DEFAULT '',
    stored BIGINT,
    mark TEXT NOT NULL DEFAULT '',
    modem TEXT NOT NULL DEFAULT ''
);
CREATE INDEX incoming_inbox ON incoming(id) WHERE kind = 'message' AND stored IS NOT NULL;
CREATE INDEX incoming_unstored ON incoming(id) WHERE stored IS NULL;
CREATE INDEX incoming_by_age ON incoming(stored);
CREATE TABLE webhook_events (
    id BIGSERIAL PRIMARY KEY,
    body BYTEA NOT NULL,
    created BIGINT NOT NULL,
    delivered BIGINT
);
CREATE TABLE modems (
    host TEXT NOT NULL,
    name TEXT NOT NULL,
    port TEXT NOT NULL DEFAULT '',
    model TEXT NOT NULL DEFAULT '',
    operator TEXT NOT NULL DEFAULT '',
    registration INTEGER,
    signal INTEGER,
    in_service SMALLINT NOT NULL DEFAULT 0,
    sent_today INTEGER NOT NULL DEFAULT 0,
    limit_left INTEGER,
    blocked_until BIGINT,
    seen BIGINT NOT NULL,
    PRIMARY KEY (host, name)
);
CREATE TABLE leases (
    name TEXT PRIMARY KEY,
    host TEXT NOT NULL,
    until BIGINT NOT NULL
);
CREATE TABLE facts (
    key TEXT PRIMARY KEY,
    value TEXT NOT NULL
);
CREATE SEQUENCE claim_tokens;
)sql",
    // 2: the traffic per hour (the status page's chart), each figure from an index by time.
    R"sql(
CREATE INDEX outgoing_by_sent_at ON outgoing(sent_at) WHERE sent_at IS NOT NULL;
CREATE INDEX outgoing_failed_by_time ON outgoing(updated) WHERE state = 'failed';
CREATE INDEX incoming_messages_by_stored ON incoming(stored) WHERE kind = 'message';
)sql",
    // 3: the webhook events still to post, looked up from the first (see nextEvent).
    R"sql(
CREATE INDEX webhook_waiting ON webhook_events(id) WHERE delivered IS NULL;
)sql",
};

}  // namespace telvane::store::postgres
