<article class="card">
  <header class="card-head">
    <h2 class="card-title">{TITLE}</h2>
    <span class="badge">{PRIVATE}</span>
    <span class="badge warning">{WARNING}</span>
  </header>
  <dl class="facts">
    <div><dt>Размер</dt><dd>{LEN}</dd></div>
    <div><dt>Файлов</dt><dd>{COUNT}</dd></div>
    <div><dt>Частей</dt><dd>{PIECES}</dd></div>
    <div><dt>Размер части</dt><dd>{PIECELEN}</dd></div>
  </dl>
  <p class="extra comment" data-label="Комментарий">{COMMENT}</p>
  <p class="extra encoding" data-label="Кодировка">{ENCODING}</p>
  <div class="files" data-label="Список файлов">{FILELIST}</div>
  <a class="magnet" href="{LINK}"><span class="magnet-label">Магнитная ссылка</span><span class="magnet-uri">{LINK}</span></a>
</article>
