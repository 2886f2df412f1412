#include "export/ReportResources.h"

namespace vessamo {

namespace {

constexpr std::string_view kStyle = R"CSS(
:root{--paper:#f6f4ef;--ink:#1d2327;--muted:#5c666c;--line:#dcd8cf;--in:#ffffff;--out:#e2f4e8;
--accent:#1d6b57;--warn:#9a5b00;--warn-bg:#fff4e0}
*{box-sizing:border-box}
html{-webkit-text-size-adjust:100%}
body{margin:0;background:var(--paper);color:var(--ink);
font:15px/1.45 system-ui,-apple-system,"Segoe UI",Roboto,"Noto Sans","Helvetica Neue",Arial,sans-serif}
a{color:var(--accent)}
.wrap{max-width:820px;margin:0 auto;padding:0 16px 40px}
.masthead{padding:28px 0 12px;border-bottom:1px solid var(--line);margin-bottom:8px}
.masthead h1{font-size:26px;line-height:1.2;margin:6px 0 6px;font-weight:650;letter-spacing:-.01em}
.masthead .facts,.masthead .zone{margin:2px 0;color:var(--muted);font-size:14px}
.back{font-size:14px;text-decoration:none}
.pager{display:flex;flex-wrap:wrap;gap:6px 14px;align-items:center;justify-content:center;
margin:14px 0;font-size:14px;color:var(--muted)}
.pager a,.pager .off{padding:4px 10px;border:1px solid var(--line);border-radius:999px;
text-decoration:none;background:#fff}
.pager .off{opacity:.45}
.day{text-align:center;margin:22px 0 10px;font-size:13px;font-weight:600;color:var(--muted)}
.day span{display:inline-block;background:#e9e5dc;border-radius:999px;padding:3px 12px}
.msg{display:flex;margin:5px 0}
.msg.out{justify-content:flex-end}
.bubble{max-width:min(78%,560px);background:var(--in);border-radius:14px;padding:7px 11px 5px;
box-shadow:0 1px 1px rgba(0,0,0,.08);border:1px solid #ece9e2;overflow-wrap:anywhere}
.out .bubble{background:var(--out);border-color:#cfe8d8}
.in .bubble{border-top-left-radius:4px}
.out .bubble{border-top-right-radius:4px}
.author{font-size:13px;font-weight:650;margin-bottom:2px}
.text{white-space:pre-wrap}
.meta{text-align:right;font-size:12px;color:var(--muted);margin-top:2px;white-space:nowrap}
.star{color:#946700;margin-right:4px}
.flag{display:inline-block;font-size:12px;font-weight:600;border-radius:6px;padding:1px 7px;
margin:1px 0 4px;color:var(--warn);background:var(--warn-bg);border:1px solid #f0d29e}
.where{font-size:12px;color:var(--muted);margin-left:6px}
.msg:target .bubble,.sys:target span{outline:3px solid #f2c14e;outline-offset:1px}
.msg.recovered .bubble{border:1.5px dashed #d9a441}
.from{font-size:12px;color:var(--muted);margin-bottom:2px}
.sys{text-align:center;margin:10px auto;max-width:80%;font-size:13px;color:var(--muted)}
.sys span{display:inline-block;background:#eeebe4;border-radius:8px;padding:3px 10px}
.thumb{display:block;max-width:260px;max-height:260px;width:auto;height:auto;border-radius:10px;
margin:3px 0}
video{display:block;max-width:100%;width:320px;border-radius:10px;margin:3px 0;background:#000}
audio{display:block;width:280px;max-width:100%;margin:4px 0}
.file,.place{display:inline-block;margin:3px 0;padding:5px 9px;border-radius:8px;background:rgba(0,0,0,.04);
text-decoration:none}
.quote{display:block;border-left:3px solid var(--accent);background:rgba(0,0,0,.04);
border-radius:6px;padding:3px 8px;margin:2px 0 4px;font-size:13px;color:inherit;text-decoration:none}
.quote .author{margin:0}
.quote .quoted{display:block;color:var(--muted);white-space:pre-wrap;max-height:3.2em;overflow:hidden}
.quote.gone{font-style:italic;color:var(--muted)}
.missing{font-style:italic;color:var(--muted);font-size:13px;margin:2px 0}
.card{border-left:3px solid var(--accent);padding:2px 0 2px 9px;margin:3px 0}
.card .who{font-weight:600}
.card ul{list-style:none;padding:0;margin:2px 0}
.a0{color:#b03a2e}.a1{color:#1f6fb2}.a2{color:#2e7d32}.a3{color:#8e44ad}.a4{color:#b3590a}
.a5{color:#00796b}.a6{color:#ad1457}.a7{color:#5d4037}.a8{color:#3949ab}.a9{color:#5f7d00}
footer{margin-top:26px;padding-top:10px;border-top:1px solid var(--line);font-size:13px;
color:var(--muted);text-align:center}
.facts-list{display:grid;grid-template-columns:max-content 1fr;gap:4px 16px;margin:10px 0 0;
font-size:14px}
.facts-list dt{color:var(--muted)}
.facts-list dd{margin:0;min-width:0;overflow-wrap:anywhere}
.search{margin:18px 0 10px}
.search input{width:100%;font:inherit;padding:10px 14px;border:1px solid var(--line);
border-radius:10px;background:#fff;color:inherit}
#hitnote{color:var(--muted);font-size:14px;margin:6px 2px}
#hits{list-style:none;padding:0;margin:0 0 12px}
#hits a{display:block;padding:8px 12px;margin:4px 0;background:#fff;border:1px solid var(--line);
border-radius:10px;text-decoration:none;color:var(--ink)}
#hits .when{color:var(--muted);font-size:13px;margin-left:8px}
#hits .snippet{display:block;font-size:14px}
.table-wrap{overflow-x:auto;background:#fff;border:1px solid var(--line);border-radius:12px}
table{border-collapse:collapse;width:100%;font-size:14px}
th,td{padding:8px 10px;text-align:left;border-bottom:1px solid #eeeae2;vertical-align:top}
th{font-size:13px;color:var(--muted);font-weight:600;cursor:pointer;user-select:none;
white-space:nowrap;background:#faf9f6}
th[aria-sort=ascending]::after{content:" \25B2";font-size:10px}
th[aria-sort=descending]::after{content:" \25BC";font-size:10px}
td.n{text-align:right;font-variant-numeric:tabular-nums}
th.n{text-align:right}
tr:last-child td{border-bottom:0}
td .rec,.facts .rec{color:var(--warn);font-weight:600}
td time{white-space:nowrap}
@media (max-width:600px){
body{font-size:15px}
.wrap{padding:0 10px 30px}
.masthead h1{font-size:22px}
.bubble{max-width:88%}
.thumb{max-width:200px}
.hide-small{display:none}
table{font-size:13px}
th,td{padding:8px 5px}
}
@media screen and (prefers-color-scheme:dark){
:root{color-scheme:dark;--paper:#15191c;--ink:#e4e7e9;--muted:#a3adb3;--line:#343c42;--in:#222a2f;
--out:#1e3a2d;--accent:#6fd0b0;--warn:#f0b35a;--warn-bg:#3a2a10}
.bubble{border-color:#2d353a;box-shadow:none}
.out .bubble{border-color:#2f5443}
.pager a,.pager .off,.search input,#hits a,.table-wrap{background:#1c2226}
.day span{background:#262e33}
.sys span{background:#22292d}
th{background:#1a1f23}
th,td{border-bottom-color:#2a3237}
.file,.place{background:rgba(255,255,255,.07)}
.flag{border-color:#6e501d}
.star{color:#e8b84a}
.a0{color:#f08c82}.a1{color:#82bbef}.a2{color:#8fd293}.a3{color:#cb9fe3}.a4{color:#f1a468}
.a5{color:#62d0c0}.a6{color:#f291bd}.a7{color:#cdaea2}.a8{color:#9eabf2}.a9{color:#b6d45e}
}
@media print{
@page{margin:16mm 14mm}
body{background:#fff;font-size:11pt}
.wrap{max-width:none;padding:0}
.pager,.search,#hitnote,#hits,.back{display:none}
.bubble{box-shadow:none;border:1px solid #bbb;background:#fff}
.out .bubble{background:#f1f7f3}
.msg,.sys,.card,.thumb,tr{break-inside:avoid;page-break-inside:avoid}
.day{break-after:avoid;page-break-after:avoid}
.day span{background:none;border:1px solid #bbb}
a{color:inherit;text-decoration:none}
.table-wrap{border:0;overflow:visible}
th{cursor:auto}
th[aria-sort]::after{content:""}
video,audio{display:none}
.media-link[data-file]::after{content:" (" attr(data-file) ")";font-size:9pt;color:#555}
}
)CSS";

constexpr std::string_view kIndexScript = R"JS(
(function () {
  'use strict';
  var table = document.getElementById('chats');
  var body = table.tBodies[0];
  var heads = table.tHead.rows[0].cells;
  var rows = Array.prototype.slice.call(body.rows);
  var box = document.getElementById('q');
  var hits = document.getElementById('hits');
  var note = document.getElementById('hitnote');
  var index = null;
  var loading = false;
  var maxHits = 200;

  function valueOf(row, col) {
    var cell = row.cells[col];
    return cell.hasAttribute('data-v') ? cell.getAttribute('data-v') : cell.textContent;
  }
  function sortBy(col) {
    var th = heads[col];
    var dir = th.getAttribute('aria-sort') === 'ascending' ? -1 : 1;
    var numeric = th.classList.contains('n') || th.hasAttribute('data-num');
    Array.prototype.forEach.call(heads, function (h) { h.removeAttribute('aria-sort'); });
    th.setAttribute('aria-sort', dir > 0 ? 'ascending' : 'descending');
    rows.sort(function (a, b) {
      var x = valueOf(a, col), y = valueOf(b, col);
      var order = numeric ? parseFloat(x) - parseFloat(y) : x.localeCompare(y);
      return order * dir;
    });
    rows.forEach(function (row) { body.appendChild(row); });
  }
  Array.prototype.forEach.call(heads, function (th, col) {
    th.tabIndex = 0;
    th.addEventListener('click', function () { sortBy(col); });
    th.addEventListener('keydown', function (e) { if (e.key === 'Enter') { sortBy(col); } });
  });

  function snippet(text, at, length) {
    var from = Math.max(0, at - 60);
    return (from > 0 ? '\u2026' : '') + text.substr(from, 180) +
      (from + 180 < text.length ? '\u2026' : '');
  }
  function add(chat, message, at, length) {
    var item = document.createElement('li');
    var link = document.createElement('a');
    link.href = chat.pages[Math.floor(message[0] / index.perPage)] + '#m' + message[0];
    var who = document.createElement('strong');
    who.textContent = chat.name;
    var when = document.createElement('span');
    when.className = 'when';
    when.textContent = message[1];
    var what = document.createElement('span');
    what.className = 'snippet';
    what.textContent = snippet(message[2], at, length);
    link.appendChild(who);
    link.appendChild(when);
    link.appendChild(what);
    item.appendChild(link);
    hits.appendChild(item);
  }
  function searchMessages(term, withHits) {
    var found = 0;
    index.chats.forEach(function (chat) {
      chat.messages.forEach(function (message) {
        var at = message[2].toLowerCase().indexOf(term);
        if (at < 0) { return; }
        withHits[chat.row] = true;
        found += 1;
        if (found <= maxHits) { add(chat, message, at, term.length); }
      });
    });
    return found;
  }
  function search() {
    var shown = box.value.trim();
    var term = shown.toLowerCase();
    while (hits.firstChild) { hits.removeChild(hits.firstChild); }
    var withHits = {};
    var found = 0;
    if (term.length >= 2 && index) {
      found = searchMessages(term, withHits);
    }
    rows.forEach(function (row) {
      var named = row.getAttribute('data-search').indexOf(term) >= 0;
      row.hidden = term !== '' && !named && !withHits[row.getAttribute('data-row')];
    });
    if (term.length < 2) {
      note.textContent = '';
    } else if (!index) {
      note.textContent = 'Searching the messages\u2026';
      load();
    } else if (found === 0) {
      note.textContent = 'No message contains \u201c' + shown + '\u201d.';
    } else {
      note.textContent = (found > maxHits ? 'The first ' + maxHits + ' of ' : '') + found +
        (found === 1 ? ' message contains \u201c' : ' messages contain \u201c') + shown + '\u201d.';
    }
  }
  function load() {
    if (loading) { return; }
    loading = true;
    var script = document.createElement('script');
    script.src = 'search-index.js';
    script.onerror = function () { note.textContent = 'The message index (search-index.js) is missing.'; };
    document.head.appendChild(script);
  }
  window.vessamoSearchIndex = function (data) { index = data; search(); };
  box.addEventListener('input', search);
  var asked = /[#&]q=([^&]*)/.exec(location.hash);
  if (asked) {
    box.value = decodeURIComponent(asked[1]);
    search();
  }
})();
)JS";

}  // namespace

std::string_view reportStyleSheet() {
    return kStyle;
}

std::string_view reportIndexScript() {
    return kIndexScript;
}

}  // namespace vessamo
