<!DOCTYPE html>
<html lang="ru">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta name="generator" content="Velmora">
<title>{NAME}</title>
<style>
:root {
  color-scheme: light dark;
  --bg: #f3f5f9;
  --card: #ffffff;
  --text: #1c2330;
  --muted: #667085;
  --line: #e2e6ee;
  --soft: #f6f8fb;
  --accent: #2f5fd0;
  --accent-soft: #e8eefc;
  --badge: #9a5b00;
  --badge-soft: #fff2d9;
  --dash: #c3cad6;
}
@media (prefers-color-scheme: dark) {
  :root {
    --bg: #12151b;
    --card: #1b2029;
    --text: #e6e9ef;
    --muted: #98a2b3;
    --line: #2b3240;
    --soft: #161a22;
    --accent: #8fb0ff;
    --accent-soft: #1f2a44;
    --badge: #ffcf7a;
    --badge-soft: #3a2c12;
    --dash: #3a4354;
  }
}
* { box-sizing: border-box; }
html { -webkit-text-size-adjust: 100%; text-size-adjust: 100%; }
body {
  margin: 0;
  background: var(--bg);
  color: var(--text);
  font: 15px/1.5 system-ui, -apple-system, "Segoe UI", Roboto, "Noto Sans", "Liberation Sans", "DejaVu Sans", Arial, sans-serif;
}
.page { max-width: 960px; margin: 0 auto; padding: 32px 20px 48px; }
.page-head { margin-bottom: 24px; }
.brand {
  margin: 0 0 6px;
  color: var(--accent);
  font-size: 12px;
  font-weight: 700;
  letter-spacing: .08em;
  text-transform: uppercase;
}
.page-title { margin: 0; font-size: 28px; line-height: 1.2; overflow-wrap: anywhere; }
.page-title:empty::before { content: "Экспорт магнитных ссылок"; }
.page-time { margin: 6px 0 0; color: var(--muted); font-size: 14px; }
.cards { display: grid; gap: 16px; counter-reset: entry; }
.cards:empty::before {
  content: "Список пуст";
  padding: 32px;
  border: 1px dashed var(--dash);
  border-radius: 12px;
  color: var(--muted);
  text-align: center;
}
.card {
  counter-increment: entry;
  min-width: 0;
  padding: 18px 20px;
  background: var(--card);
  border: 1px solid var(--line);
  border-radius: 12px;
  box-shadow: 0 1px 2px rgba(16, 24, 40, .05), 0 2px 8px rgba(16, 24, 40, .04);
}
.card-head { display: flex; align-items: flex-start; gap: 10px; }
.card-head::before {
  content: counter(entry);
  flex: none;
  min-width: 28px;
  height: 28px;
  padding: 0 6px;
  border-radius: 14px;
  background: var(--accent-soft);
  color: var(--accent);
  font-size: 13px;
  font-weight: 700;
  line-height: 28px;
  text-align: center;
}
.card-title {
  flex: 1;
  min-width: 0;
  margin: 0;
  font-size: 18px;
  line-height: 28px;
  overflow-wrap: anywhere;
}
.card-title:empty::before { content: "Без названия"; color: var(--muted); font-style: italic; }
.badge {
  flex: none;
  margin-top: 3px;
  padding: 1px 10px;
  border-radius: 11px;
  background: var(--badge-soft);
  color: var(--badge);
  font-size: 12px;
  font-weight: 600;
  line-height: 20px;
}
.badge:empty { display: none; }
.badge.warning { background: #fde2e2; color: #a00000; }
.facts {
  display: grid;
  grid-template-columns: repeat(4, minmax(0, 1fr));
  gap: 1px;
  margin: 16px 0 0;
  overflow: hidden;
  background: var(--line);
  border: 1px solid var(--line);
  border-radius: 10px;
}
.facts div { padding: 8px 12px; background: var(--soft); }
.facts dt { color: var(--muted); font-size: 12px; }
.facts dd { margin: 0; font-weight: 600; font-variant-numeric: tabular-nums; overflow-wrap: anywhere; }
.extra { margin: 14px 0 0; white-space: pre-line; overflow-wrap: anywhere; }
.extra::before, .files::before {
  content: attr(data-label);
  display: block;
  color: var(--muted);
  font-size: 12px;
  white-space: normal;
}
.extra:empty, .files:empty { display: none; }
.files {
  max-height: 15em;
  margin: 14px 0 0;
  padding: 0 12px 8px;
  overflow: auto;
  background: var(--soft);
  border: 1px solid var(--line);
  border-radius: 10px;
  font: 13px/1.6 ui-monospace, "SFMono-Regular", Menlo, Consolas, "DejaVu Sans Mono", "Liberation Mono", monospace;
  white-space: nowrap;
}
.files::before {
  position: sticky;
  top: 0;
  margin: 0 -12px 4px;
  padding: 8px 12px 4px;
  border-radius: 9px 9px 0 0;
  background: var(--soft);
  font-family: system-ui, -apple-system, "Segoe UI", Roboto, "Noto Sans", "Liberation Sans", "DejaVu Sans", Arial, sans-serif;
}
.files br:last-child { display: none; }
.magnet {
  display: flex;
  align-items: center;
  gap: 12px;
  margin-top: 16px;
  padding: 10px 12px;
  border-radius: 10px;
  background: var(--accent-soft);
  color: var(--accent);
  text-decoration: none;
}
.magnet:hover, .magnet:focus-visible { outline: 2px solid var(--accent); outline-offset: 1px; }
.magnet-label {
  flex: none;
  padding: 2px 10px;
  border-radius: 6px;
  background: var(--accent);
  color: var(--card);
  font-size: 12px;
  font-weight: 700;
}
.magnet-uri {
  min-width: 0;
  font: 13px/1.5 ui-monospace, "SFMono-Regular", Menlo, Consolas, "DejaVu Sans Mono", "Liberation Mono", monospace;
  word-break: break-all;
}
.page-foot { margin-top: 28px; color: var(--muted); font-size: 13px; text-align: center; }
@media (max-width: 640px) {
  body { font-size: 14px; }
  .page { padding: 20px 12px 32px; }
  .page-title { font-size: 22px; }
  .card { padding: 14px; }
  .facts { grid-template-columns: repeat(2, minmax(0, 1fr)); }
  .magnet { flex-direction: column; align-items: flex-start; gap: 6px; }
}
@media print {
  :root {
    color-scheme: light;
    --bg: #fff;
    --card: #fff;
    --text: #000;
    --muted: #555;
    --line: #bbb;
    --soft: #fff;
    --accent: #000;
    --accent-soft: #fff;
    --badge: #000;
    --badge-soft: #fff;
  }
  @page { margin: 14mm; }
  body { font-size: 11pt; }
  .page { max-width: none; padding: 0; }
  .cards { display: block; }
  .card { margin-bottom: 10pt; box-shadow: none; break-inside: avoid; }
  .card-head::before, .badge { border: 1px solid var(--line); }
  .files { max-height: none; overflow: visible; white-space: normal; overflow-wrap: anywhere; }
  .files::before { position: static; background: none; }
  .magnet { padding: 0; }
  .magnet-label { background: none; border: 1px solid var(--line); color: var(--text); }
}
</style>
</head>
<body>
<div class="page">
<header class="page-head">
<p class="brand">Velmora</p>
<h1 class="page-title">{NAME}</h1>
<p class="page-time">Создано: {TIME}</p>
</header>
<main class="cards">{CONTENT}</main>
<footer class="page-foot">Магнитные ссылки сохранены программой Velmora</footer>
</div>
</body>
</html>
