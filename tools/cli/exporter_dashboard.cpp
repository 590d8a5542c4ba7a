// SPDX-License-Identifier: Apache-2.0
#include "tools/cli/exporter_dashboard.h"

namespace snmphelper::cli {
namespace {

constexpr const char kHead[] = R"PAGE(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Printers - snmphelper</title>
<style>
:root { --ok: #1b6e20; --warn: #8a5a00; --bad: #b00020; --ink: #1a1a1a; --muted: #555; --line: #c8c8c8; }
* { box-sizing: border-box; }
body { margin: 0; font: 15px/1.4 system-ui, sans-serif; color: var(--ink); background: #f4f4f4; }
header { padding: 12px 16px; background: #fff; border-bottom: 1px solid var(--line);
         display: flex; flex-wrap: wrap; gap: 8px 24px; align-items: center; }
h1 { font-size: 20px; margin: 0; }
#counts { color: var(--muted); }
main { display: grid; grid-template-columns: repeat(auto-fill, minmax(300px, 1fr)); gap: 12px; padding: 12px; }
.card { background: #fff; border: 1px solid var(--line); border-left: 6px solid var(--ok); border-radius: 6px;
        padding: 10px 12px; }
.card[data-attention="true"] { border-left-color: var(--bad); }
.card[hidden] { display: none; }
.card h2 { font-size: 17px; margin: 0 0 2px; word-break: break-word; }
.model, .age { color: var(--muted); font-size: 13px; }
.state { font-weight: 600; margin: 4px 0; }
.state.down, .state.unreached { color: var(--bad); }
.state.warning { color: var(--warn); }
.errors { color: var(--bad); font-size: 14px; margin: 2px 0; }
h3 { font-size: 13px; text-transform: uppercase; letter-spacing: .04em; color: var(--muted); margin: 10px 0 4px; }
.row { display: grid; grid-template-columns: minmax(0, 1fr) max-content; gap: 2px 8px; align-items: center; font-size: 14px; }
.label { overflow: hidden; text-overflow: ellipsis; white-space: nowrap; }
.value { text-align: right; font-variant-numeric: tabular-nums; }
.bar { grid-column: 1 / -1; height: 12px; border: 1px solid #777; border-radius: 3px; background: #fff;
       overflow: hidden; margin-bottom: 4px; }
.fill { display: block; height: 100%; }
.fill.unknown { background: repeating-linear-gradient(45deg, #ddd 0 6px, #fff 6px 12px); width: 100%; }
ul.alerts { margin: 0; padding-left: 18px; font-size: 14px; }
.critical { color: var(--bad); }
@media (max-width: 480px) { main { grid-template-columns: 1fr; padding: 8px; } }
</style>
</head>
<body>
<header>
<h1>Printers</h1>
<label><input type="checkbox" id="attention-only"> Needs attention only</label>
<span id="counts" aria-live="polite"></span>
</header>
<main id="fleet" aria-label="Printers"></main>
<script type="application/json" id="fleet-data">)PAGE";

constexpr const char kTail[] = R"PAGE(</script>
<script>
"use strict";
const COLOURS = { cyan: "#0093c9", magenta: "#c8007a", yellow: "#e0c000", black: "#111111",
  "light cyan": "#6fc9e8", "light magenta": "#e57cc0", "photo black": "#222222", "matte black": "#333333",
  gray: "#808080", grey: "#808080", "light gray": "#b0b0b0", red: "#c62828", green: "#2e7d32", blue: "#1565c0" };
const WASTE = "#6d4c41";
let fleet = JSON.parse(document.getElementById("fleet-data").textContent);

function el(tag, attrs, text) {
  const node = document.createElement(tag);
  for (const [k, v] of Object.entries(attrs || {})) node.setAttribute(k, v);
  if (text !== undefined) node.textContent = text;
  return node;
}
function colourOf(name) {
  return name ? COLOURS[String(name).trim().toLowerCase()] || "#607d8b" : "#607d8b";
}
function age(seconds) {
  if (seconds < 90) return Math.round(seconds) + " s ago";
  if (seconds < 5400) return Math.round(seconds / 60) + " min ago";
  return Math.round(seconds / 3600) + " h ago";
}
// A supply's bar: a consumable shows what is left; a receptacle how full it is.
function supplyRow(supply) {
  const row = el("div", { class: "row supply" });
  const receptacle = supply.receptacle;
  const name = supply.description || ("supply " + supply.index);
  let text, width = null;
  if (supply.percent !== null) {
    width = receptacle ? 100 - supply.percent : supply.percent;
    text = receptacle ? width + "% full" : supply.percent + "%";
  } else if (supply.level === -3) {
    text = receptacle ? "some space left" : "some remaining";
  } else {
    text = "unknown";
  }
  row.append(el("span", { class: "label", title: name }, name), el("span", { class: "value" }, text));
  const bar = el("div", { class: "bar", role: "img", "aria-label": name + ": " + text });
  const colour = receptacle ? WASTE : colourOf(supply.colorant);
  const fill = el("span", { class: width === null ? "fill unknown" : "fill", "data-colour": supply.colorant || "" });
  if (width !== null) { fill.style.width = width + "%"; fill.style.background = colour; }
  bar.append(fill);
  row.append(bar);
  return row;
}
function trayRow(tray) {
  const row = el("div", { class: "row tray" });
  const text = tray.percent !== null ? tray.percent + "%" : tray.level === -3 ? "some remaining" : "unknown";
  row.append(el("span", { class: "label" }, tray.name + (tray.media ? " (" + tray.media + ")" : "")),
             el("span", { class: "value" }, text));
  const bar = el("div", { class: "bar", role: "img", "aria-label": tray.name + ": " + text });
  const fill = el("span", { class: tray.percent === null ? "fill unknown" : "fill" });
  if (tray.percent !== null) { fill.style.width = tray.percent + "%"; fill.style.background = "#546e7a"; }
  bar.append(fill);
  row.append(bar);
  return row;
}
// Why a printer needs a person: unreached, down, error bits, a supply under
// 10%, a receptacle nearly full.
function reasons(entry) {
  const s = entry.status, summary = entry.summary, out = [];
  if (!summary.reached) return ["not reached"];
  const device = s.device || {};
  if (device.deviceStatus && device.deviceStatus.value === 5) out.push("down");
  if ((summary.detectedErrors || []).length) out.push("errors");
  for (const supply of s.supplies) {
    if (!supply.receptacle && supply.percent !== null && supply.percent < 10) out.push("supply low");
  }
  if ((summary.nearlyFullReceptacles || []).length) out.push("receptacle nearly full");
  return out;
}
function card(entry) {
  const s = entry.status, summary = entry.summary;
  const why = reasons(entry);
  const node = el("article", { class: "card", "data-printer": summary.printer,
                               "data-attention": why.length ? "true" : "false", "aria-label": summary.printer });
  node.append(el("h2", {}, summary.printer));
  if (!summary.reached) {
    node.append(el("div", { class: "state unreached" }, "not reached (" + (s.meaning || "result " + s.result) + ")"));
  } else {
    const device = s.device || {};
    node.append(el("div", { class: "model" }, (device.description || s.sysName || "") + " \u00b7 over " + s.protocol));
    const state = summary.status.split(":")[0];
    node.append(el("div", { class: "state " + state }, summary.status));
    if ((summary.detectedErrors || []).length) {
      node.append(el("div", { class: "errors" }, "Errors: " + summary.detectedErrors.join(", ")));
    }
    if (s.supplies.length) {
      node.append(el("h3", {}, "Supplies"));
      for (const supply of s.supplies) node.append(supplyRow(supply));
    }
    if (s.inputTrays.length) {
      node.append(el("h3", {}, "Trays"));
      for (const tray of s.inputTrays) node.append(trayRow(tray));
    }
    node.append(el("h3", {}, "Alerts"));
    if (s.alerts.length) {
      const list = el("ul", { class: "alerts" });
      for (const alert of s.alerts) {
        const severity = alert.severity ? alert.severity.name : "";
        list.append(el("li", { class: severity }, (severity ? severity + ": " : "") + alert.description));
      }
      node.append(list);
    } else {
      node.append(el("div", { class: "none" }, "none"));
    }
    const pages = (s.markerCounters || []).map(c => c.lifeCount).filter(n => n !== null && n !== undefined);
    if (pages.length) node.append(el("div", { class: "pages" }, "Pages: " + pages.reduce((a, b) => a + b, 0).toLocaleString("en")));
  }
  if (why.length) node.append(el("div", { class: "errors why" }, "Needs attention: " + why.join(", ")));
  node.append(el("div", { class: "age" }, "read " + age(entry.ageSeconds)));
  return node;
}
function draw() {
  const only = document.getElementById("attention-only").checked;
  const main = document.getElementById("fleet");
  main.replaceChildren();
  let attention = 0;
  for (const entry of fleet.printers) {
    const node = card(entry);
    if (node.dataset.attention === "true") attention++;
    else if (only) node.hidden = true;
    main.append(node);
  }
  document.getElementById("counts").textContent =
    fleet.printers.length + " printers, " + attention + " need attention (shard " + fleet.shard + ")";
}
async function refresh() {
  try {
    const response = await fetch("api/fleet", { cache: "no-store" });
    if (response.ok) { fleet = await response.json(); draw(); }
  } catch (e) { /* the next refresh tries again */ }
}
const box = document.getElementById("attention-only");
box.checked = new URLSearchParams(location.search).get("attention") === "1";
box.addEventListener("change", draw);
draw();
setInterval(refresh, Math.max(5, Math.min(60, fleet.intervalSeconds)) * 1000);
</script>
</body>
</html>
)PAGE";

}  // namespace

std::string DashboardPage(const std::string &fleetJson) {
    std::string page = kHead;
    // Inside a script element only "<" could end it early; JSON allows its
    // escaped form anywhere a string holds it, and "<" occurs nowhere else.
    for (const char c : fleetJson) {
        if (c == '<') {
            page += "\\u003c";
        } else {
            page += c;
        }
    }
    return page + kTail;
}

}  // namespace snmphelper::cli
