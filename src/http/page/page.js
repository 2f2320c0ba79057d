"use strict";
// The status page: asks the API every few seconds with the token kept for this browser tab.
(function () {
  const $ = (id) => document.getElementById(id);
  const KEY = "telvane-token";
  const STATES = { queued: "в очереди", sending: "отправляется", sent: "отправлено", delivered: "доставлено", failed: "ошибка" };
  const REGISTRATION = { 0: "не зарегистрирован", 1: "домашняя сеть", 2: "поиск сети",
                         3: "регистрация отклонена", 4: "неизвестно", 5: "роуминг" };
  let timer = null;
  let trafficMoment = "", lastMoment = "";

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

  // The day's traffic as bars, three an hour, drawn here so that the page needs nothing else.
  const SERIES = [["sent", "отправлено"], ["received", "принято"], ["failed", "ошибки"]];
  const SVG = "http://www.w3.org/2000/svg";

  function draw(parent, name, attributes, text) {
    const node = document.createElementNS(SVG, name);
    for (const [key, value] of Object.entries(attributes)) node.setAttribute(key, value);
    if (text !== undefined) node.textContent = text;
    parent.appendChild(node);
    return node;
  }

  function showTraffic(hours) {
    const chart = $("traffic");
    const width = 960, height = 150, left = 30, bottom = 18, top = 8;
    chart.setAttribute("viewBox", "0 0 " + width + " " + height);
    chart.replaceChildren();
    const most = Math.max(1, ...hours.flatMap((h) => SERIES.map(([key]) => h[key])));
    const slot = (width - left) / Math.max(1, hours.length), bar = (slot - 4) / SERIES.length;
    const scale = (height - bottom - top) / most, base = height - bottom;
    draw(chart, "line", { x1: left, x2: width, y1: base, y2: base, class: "axis" });
    draw(chart, "text", { x: left - 6, y: top + 8, "text-anchor": "end" }, most);
    draw(chart, "text", { x: left - 6, y: base, "text-anchor": "end" }, 0);
    hours.forEach((hour, i) => {
      const start = new Date(hour.start);
      const label = isNaN(start) ? hour.start : String(start.getHours()).padStart(2, "0") + ":00";
      SERIES.forEach(([key, word], j) => {
        const tall = hour[key] * scale;
        const rect = draw(chart, "rect", { x: left + i * slot + 2 + j * bar, y: base - tall,
          width: Math.max(1, bar - 1), height: tall, class: "bar " + key,
          "data-count": hour[key], "data-hour": hour.start });
        draw(rect, "title", {}, label + " — " + word + ": " + hour[key]);
      });
      if (i % 3 === 0 || i === hours.length - 1)
        draw(chart, "text", { x: left + i * slot + slot / 2, y: height - 4,
                              "text-anchor": "middle" }, label);
    });
    const total = (key) => hours.reduce((sum, h) => sum + h[key], 0);
    $("traffic-total").textContent = "за " + hours.length + " ч: отправлено " + total("sent") +
      ", принято " + total("received") + ", ошибок " + total("failed");
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
      // The chart is asked for again only when something was stored, sent or failed, or a new
      // hour began (and once more at the next refresh, as the engine counts a message a moment
      // before the store has it): among many messages its counting costs the store the most.
      const c = status.counters;
      const moment = [c.received, c.partsSent, c.failed, c.reportsDelivered,
                      new Date().getHours()].join();
      const [sent, inbox, traffic] = await Promise.all([
        api("messages?limit=10"),
        api("inbox?after=" + Math.max(0, newest - 10) + "&limit=10"),
        moment === trafficMoment ? null : api("stats?hours=24"),
      ]);
      if (traffic) {
        showTraffic(traffic.hours);
        trafficMoment = moment === lastMoment ? moment : "";
      }
      lastMoment = moment;
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
