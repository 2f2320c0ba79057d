"use strict";
// The status page: asks the API every few seconds with the token kept for this browser tab.
(function () {
  const $ = (id) => document.getElementById(id);
  const KEY = "telvane-token";
  const STATES = { queued: "в очереди", sending: "отправляется", sent: "отправлено", delivered: "доставлено", failed: "ошибка" };
  const REGISTRATION = { 0: "не зарегистрирован", 1: "домашняя сеть", 2: "поиск сети",
                         3: "регистрация отклонена", 4: "неизвестно", 5: "роуминг" };
  let timer = null;

  function token() { return sessionStorage.getItem(KEY) || ""; }

  async function api(path, options) {
    const init = Object.assign({ headers: {} }, options || {});
    init.headers["Authorization"] = "Bearer " + token();
    const response = await fetch("/api/v1/" + path, init);
    let body = {};
    try { body = await response.json(); } catch (e) { body = {}; }
    if (response.status === 401) { showLogin("Неверный ключ доступа."); throw new Error("401"); }
    if (!response.ok) throw new Error(body.message || ("HTTP " + response.status));
    return body;
  }

  function showLogin(message) {
    clearInterval(timer);
    timer = null;
    $("main").hidden = true;
    $("login").hidden = false;
    $("login-error").textContent = message || "";
    $("token").focus();
  }

  function showMain() {
    $("login").hidden = true;
    $("main").hidden = false;
    refresh();
    if (!timer) timer = setInterval(refresh, 3000);
  }

  function time(iso) {
    if (!iso) return "";
    const d = new Date(iso);
    return isNaN(d) ? iso : d.toLocaleString("ru-RU", { day: "2-digit", month: "2-digit",
      hour: "2-digit", minute: "2-digit", second: "2-digit" });
  }

  function age(seconds) {
    if (seconds === null || seconds === undefined) return "";
    if (seconds < 60) return "самый старый ждёт " + seconds + " с";
    if (seconds < 3600) return "самый старый ждёт " + Math.floor(seconds / 60) + " мин";
    return "самый старый ждёт " + Math.floor(seconds / 3600) + " ч";
  }

  function cell(row, text, className) {
    const td = row.insertCell();
    td.textContent = text;
    if (className) td.className = className;
    return td;
  }

  function fill(table, empty, items, columns) {
    const body = table.tBodies[0];
    body.replaceChildren();
    for (const item of items) columns(body.insertRow(), item);
    $(empty).hidden = items.length > 0;
  }

  function showStatus(s) {
    const g = s.gateway, m = s.modem, q = s.queue, c = s.counters;
    $("gateway-state").textContent = g.inService ? "В работе" : "Нет связи с телефоном";
    $("gateway-state").className = "big " + (g.inService ? "ok" : "bad");
    $("gateway-status").textContent = g.status;
    const rssi = m.signal;
    $("signal").textContent = rssi === null ? "сигнал неизвестен" : "сигнал " + rssi + "/31";
    const lit = rssi === null ? 0 : Math.ceil(rssi / 31 * 5);
    document.querySelectorAll("#signal-bars i").forEach((bar, i) => bar.classList.toggle("on", i < lit));
    $("network").textContent = m.registration === null ? (m.network || "регистрация неизвестна")
                                                       : (REGISTRATION[m.registration] || m.network);
    $("port").textContent = m.port;
    $("operator").textContent = m.operator || "";
    $("model").textContent = m.model ? "Модель: " + m.model : "";
    $("queue-files").textContent = q.files + " " + plural(q.files, "файл", "файла", "файлов");
    $("queue-age").textContent = q.files ? age(q.oldestAgeSeconds) : "очередь пуста";
    $("c-received").textContent = c.received;
    $("c-sent").textContent = c.partsSent;
    $("c-refused").textContent = c.partsRefused;
    $("c-delivered").textContent = c.reportsDelivered;
  }

  function plural(n, one, few, many) {
    const d = n % 10, h = n % 100;
    if (d === 1 && h !== 11) return one;
    if (d >= 2 && d <= 4 && (h < 12 || h > 14)) return few;
    return many;
  }

  async function refresh() {
    try {
      const status = await api("status");
      showStatus(status);
      const newest = Number(status.inbox.newest);
      const [sent, inbox] = await Promise.all([
        api("messages?limit=10"),
        api("inbox?after=" + Math.max(0, newest - 10) + "&limit=10"),
      ]);
      fill($("sent-list"), "sent-empty", sent.messages, (row, m) => {
        cell(row, time(m.time));
        cell(row, m.number);
        const badge = document.createElement("span");
        badge.className = "badge " + m.state;
        badge.textContent = STATES[m.state] || m.state;
        if (m.error && m.error.text) badge.title = m.error.text;
        row.insertCell().appendChild(badge);
        row.dataset.id = m.id;
      });
      fill($("inbox-list"), "inbox-empty", inbox.messages.reverse(), (row, m) => {
        cell(row, m.time);
        cell(row, m.number);
        cell(row, m.text, "text");
      });
      $("updated").textContent = "обновлено " + new Date().toLocaleTimeString("ru-RU");
    } catch (e) {
      if (e.message !== "401") $("updated").textContent = "нет ответа: " + e.message;
    }
  }

  $("login").addEventListener("submit", (event) => {
    event.preventDefault();
    sessionStorage.setItem(KEY, $("token").value.trim());
    showMain();
  });

  $("logout").addEventListener("click", (event) => {
    event.preventDefault();
    sessionStorage.removeItem(KEY);
    showLogin("");
  });

  $("send").addEventListener("submit", async (event) => {
    event.preventDefault();
    const button = event.target.querySelector("button");
    const result = $("send-result");
    button.disabled = true;
    result.className = "";
    result.textContent = "Отправка…";
    try {
      const answer = await api("messages", {
        method: "POST",
        headers: { "Content-Type": "application/json" },
        body: JSON.stringify({ to: $("to").value, text: $("text").value }),
      });
      result.className = "ok";
      result.textContent = "Принято в очередь: " + answer.id;
      $("text").value = "";
      refresh();
    } catch (e) {
      result.className = "error";
      result.textContent = e.message === "401" ? "" : e.message;
    } finally {
      button.disabled = false;
    }
  });

  // Try without a token first: a gateway on this computer alone may need none.
  fetch("/api/v1/status", { headers: { Authorization: "Bearer " + token() } })
    .then((r) => (r.status === 401 ? showLogin("") : showMain()))
    .catch(() => showLogin("Шлюз не отвечает."));
})();
