// ViewerPage: the page. The table of entries is filtered by the viewer (the command line's name
// matching) and sorted here; a chosen entry is shown as the pictures --png makes of it, as text,
// or in hexadecimal, with downloads of its bytes and of its picture.
#include "tool/serve/ViewerPage.h"

namespace qarvex {

namespace tool {

const std::string &viewerPage() {
    static const std::string page = R"html(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>qarvex viewer</title>
<link rel="icon" href="data:,">
<link rel="stylesheet" href="app.css">
<script src="app.js" defer></script>
</head>
<body>
<header><h1>qarvex viewer</h1><span id="volumes"></span></header>
<main>
<section id="list">
<label>Names <input id="filter" value="*" spellcheck="false" autocomplete="off"></label>
<span id="count"></span>
<table id="entries">
<thead><tr>
<th data-key="volume">Volume</th><th data-key="id">Id</th><th data-key="name">Name</th>
<th data-key="size" class="number">Size</th><th data-key="stored" class="number">Stored</th>
<th data-key="method">Method</th>
</tr></thead>
<tbody></tbody>
</table>
</section>
<section id="detail" hidden>
<h2 id="title"></h2>
<div id="actions">
<a id="download-entry" class="button" download>Download entry</a>
<a id="download-picture" class="button" download hidden>Download picture</a>
<label id="palette-choice" hidden>Palette <select id="palette"></select></label>
<label id="sample-choice" hidden>Sample <input id="sample" spellcheck="false"></label>
</div>
<p id="problems"></p>
<div id="pictures"></div>
<pre id="metrics" hidden></pre>
<pre id="content" hidden></pre>
</section>
</main>
</body>
</html>
)html";
    return page;
}

const std::string &viewerStyle() {
    static const std::string style =
        R"css(body { font: 14px sans-serif; margin: 0; color: #222; background: #f4f4f4; }
header { background: #2d3e50; color: #fff; padding: 8px 16px; display: flex; gap: 16px; align-items: baseline; }
header h1 { font-size: 18px; margin: 0; }
main { display: flex; gap: 16px; padding: 16px; align-items: flex-start; }
#list { flex: 0 0 auto; max-height: calc(100vh - 90px); overflow: auto; background: #fff; padding: 8px; }
#detail { flex: 1 1 auto; background: #fff; padding: 8px 16px; min-width: 0; }
#pictures { overflow-x: auto; }
#filter { font-family: monospace; width: 14em; }
table { border-collapse: collapse; margin-top: 8px; }
th { cursor: pointer; text-align: left; background: #e4e8ec; user-select: none; }
th.sorted-up::after { content: " \25B2"; }
th.sorted-down::after { content: " \25BC"; }
th, td { padding: 2px 8px; white-space: nowrap; }
td.number, th.number { text-align: right; }
td { font-family: monospace; }
tbody tr { cursor: pointer; }
tbody tr:hover { background: #eef4fa; }
tbody tr.chosen { background: #cfe2f5; }
#actions { display: flex; gap: 12px; align-items: center; flex-wrap: wrap; }
.button { padding: 3px 10px; border: 1px solid #789; border-radius: 3px; background: #eef; color: #123; text-decoration: none; }
#problems { color: #a33; }
figure { display: inline-block; margin: 0 16px 16px 0; vertical-align: top; }
figcaption { color: #555; font-size: 12px; }
img.picture { image-rendering: pixelated; image-rendering: crisp-edges; background: repeating-conic-gradient(#ddd 0% 25%, #fff 0% 50%) 0 0 / 16px 16px; }
pre { background: #f8f8f8; padding: 8px; overflow: auto; max-height: 60vh; }
)css";
    return style;
}

const std::string &viewerScript() {
    static const std::string script = R"js('use strict';
const state = { rows: [], key: 'volume', up: true, volumes: [], chosen: null, info: null };
const $ = (id) => document.getElementById(id);

async function fetchJson(url) {
  const response = await fetch(url);
  if (!response.ok) throw new Error(await response.text());
  return response.json();
}

function cell(row, text, number) {
  const td = document.createElement('td');
  td.textContent = text;
  if (number) td.className = 'number';
  row.appendChild(td);
}

function compare(a, b) {
  const x = a[state.key], y = b[state.key];
  const order = typeof x === 'number' ? x - y : String(x).localeCompare(String(y));
  return (state.up ? order : -order) || a.volume - b.volume || a.position - b.position;
}

function showRows() {
  const body = $('entries').tBodies[0];
  body.textContent = '';
  for (const entry of [...state.rows].sort(compare)) {
    const row = document.createElement('tr');
    row.dataset.name = entry.name;
    if (state.chosen && state.chosen.volume === entry.volume && state.chosen.position === entry.position)
      row.className = 'chosen';
    cell(row, state.volumes[entry.volume]);
    cell(row, entry.id);
    cell(row, entry.name);
    cell(row, entry.size, true);
    cell(row, entry.stored < 0 ? '-' : entry.stored, true);
    cell(row, entry.method);
    row.addEventListener('click', () => choose(entry));
    body.appendChild(row);
  }
  for (const th of document.querySelectorAll('th'))
    th.className = (th.dataset.key === state.key ? (state.up ? 'sorted-up' : 'sorted-down') : '') +
                   (th.classList.contains('number') ? ' number' : '');
  $('count').textContent = state.rows.length + (state.rows.length === 1 ? ' entry' : ' entries');
}

let filterTimer = null;
async function filterRows() {
  const expression = $('filter').value || '*';
  try {
    state.rows = await fetchJson('entries?filter=' + encodeURIComponent(expression));
  } catch (error) {
    state.rows = [];
  }
  showRows();
  document.body.dataset.filtered = expression;
}

function entryUrl(entry) { return 'entry/' + entry.volume + '/' + entry.position; }

function pictureUrl(picture, download) {
  let url = entryUrl(state.chosen) + '/picture?suffix=' + encodeURIComponent(picture.suffix);
  if (picture.sheet) url += '&sheet=1';
  const palette = $('palette').value;
  if (state.info.indexed && palette !== '') url += '&palette=' + palette;
  if (picture.suffix === '.sample.png') url += '&sample=' + encodeURIComponent($('sample').value || ' ');
  return url + (download ? '&download=1' : '');
}

// Pixel art stays sharp: whole multiples of the picture's own size, up to about 480 pixels.
function scaleUp(image) {
  const side = Math.max(image.naturalWidth, image.naturalHeight, 1);
  const scale = Math.max(1, Math.min(8, Math.floor(480 / side)));
  image.style.width = image.naturalWidth * scale + 'px';
  image.style.height = image.naturalHeight * scale + 'px';
  image.dataset.scale = scale;
}

function drawPictures() {
  const box = $('pictures');
  box.textContent = '';
  const pictures = state.info.pictures || [];
  let pending = pictures.length;
  document.body.dataset.loaded = pending ? '' : 'yes';
  for (const picture of pictures) {
    const figure = document.createElement('figure');
    const image = document.createElement('img');
    image.className = 'picture';
    image.dataset.suffix = picture.suffix;
    image.alt = picture.label;
    const done = () => { if (--pending === 0) document.body.dataset.loaded = 'yes'; };
    image.addEventListener('load', () => { scaleUp(image); done(); });
    image.addEventListener('error', done);
    image.src = pictureUrl(picture, false);
    const caption = document.createElement('figcaption');
    caption.textContent = picture.label;
    figure.append(image, caption);
    box.appendChild(figure);
  }
  // What the pictures had to make up concerns their own colours: a chosen palette replaces it.
  const problems = $('palette').value === '' || !state.info.indexed ? (state.info.warnings || []).slice() : [];
  if (state.info.error) problems.unshift(state.info.error);
  $('problems').textContent = problems.join('; ');
  const first = pictures[0];
  $('download-picture').hidden = !first;
  if (first) $('download-picture').href = pictureUrl(first, true);
}

async function choose(entry) {
  state.chosen = entry;
  showRows();
  document.body.dataset.loaded = '';
  const info = await fetchJson(entryUrl(entry));
  if (state.chosen !== entry) return;
  state.info = info;
  $('detail').hidden = false;
  $('title').textContent = state.volumes[entry.volume] + ': ' + info.name + ' (' + info.kind + ', ' + info.size + ' bytes)';
  $('download-entry').href = entryUrl(entry) + '/raw';
  $('palette-choice').hidden = !info.indexed || $('palette').options.length < 2;
  $('sample-choice').hidden = info.kind !== 'font';
  $('metrics').hidden = !info.metrics;
  $('metrics').textContent = info.metrics || '';
  const content = info.text !== undefined ? info.text : info.hex;
  $('content').hidden = content === undefined;
  $('content').textContent = content || '';
  drawPictures();
}

async function start() {
  const catalog = await fetchJson('catalog');
  state.volumes = catalog.volumes;
  $('volumes').textContent = catalog.volumes.join(', ');
  $('sample').value = catalog.sample;
  const select = $('palette');
  select.appendChild(new Option('its own colours', ''));
  catalog.palettes.forEach((label, number) => select.appendChild(new Option(label, String(number))));
  select.addEventListener('change', drawPictures);
  $('sample').addEventListener('change', drawPictures);
  $('filter').addEventListener('input', () => {
    clearTimeout(filterTimer);
    filterTimer = setTimeout(filterRows, 150);
  });
  for (const th of document.querySelectorAll('th'))
    th.addEventListener('click', () => {
      state.up = state.key === th.dataset.key ? !state.up : true;
      state.key = th.dataset.key;
      showRows();
    });
  await filterRows();
}

start();
)js";
    return script;
}

} // namespace tool

} // namespace qarvex
