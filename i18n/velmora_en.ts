<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ru_RU">
<context>
    <name>TAboutBox</name>
    <message>
        <source>О программе</source>
        <translation>About</translation>
    </message>
    <message>
        <source>Распространяется по лицензии MIT</source>
        <translation>Released under the MIT licence</translation>
    </message>
</context>
<context>
    <name>TTorrentEntry</name>
    <message>
        <source>Хеш раздачи (info hash) не получен.</source>
        <translation>No info hash was obtained.</translation>
    </message>
    <message>
        <source>Закрытый торрент: без трекера в ссылке пиров не найти</source>
        <translation>Private torrent: without a tracker in the link no peers can be found</translation>
    </message>
</context>
<context>
    <name>TVSTModel</name>
    <message>
        <source>Файл</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Магнитная ссылка</source>
        <translation>Magnet link</translation>
    </message>
</context>
<context>
    <name>TVelmoraApplication</name>
    <message>
        <source>Неизвестная ошибка</source>
        <translation>Unknown error</translation>
    </message>
</context>
<context>
    <name>TfrmExp</name>
    <message>
        <source>    Имя экспорта</source>
        <translation>    Export name</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>TfrmKTZ</name>
    <message>
        <source>Ждём...</source>
        <translation>Waiting...</translation>
    </message>
    <message>
        <source>Работаем...</source>
        <translation>Working...</translation>
    </message>
    <message>
        <source>Открыть</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>Очистить список</source>
        <translation>Clear list</translation>
    </message>
    <message>
        <source>О программе</source>
        <translation>About</translation>
    </message>
    <message>
        <source>Запускать автоматически</source>
        <translation>Run automatically</translation>
    </message>
    <message>
        <source>Добавлять имя и трекеры</source>
        <translation>Add name and trackers</translation>
    </message>
    <message>
        <source>Запустить</source>
        <translation>Run</translation>
    </message>
    <message>
        <source>Файл</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Название</source>
        <translation>Title</translation>
    </message>
    <message>
        <source>Магнитная ссылка</source>
        <translation>Magnet link</translation>
    </message>
    <message>
        <source>Размер</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>Файлов</source>
        <translation>Files</translation>
    </message>
    <message>
        <source>Частей</source>
        <translation>Pieces</translation>
    </message>
    <message>
        <source>Размер части</source>
        <translation>Piece size</translation>
    </message>
    <message>
        <source>Источник</source>
        <translation>Source</translation>
    </message>
    <message>
        <source>Копировать выделенное</source>
        <translation>Copy selected</translation>
    </message>
    <message>
        <source>Сохранить как список (*.txt)</source>
        <translation>Save as list (*.txt)</translation>
    </message>
    <message>
        <source>Сохранить как HTML страницу</source>
        <translation>Save as HTML page</translation>
    </message>
    <message>
        <source>Выход</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>Нет программы для магнитных ссылок</source>
        <translation>No program for magnet links</translation>
    </message>
    <message>
        <source>Ссылку не открыть: нет программы для неё</source>
        <translation>The link cannot be opened: no program for it</translation>
    </message>
    <message>
        <source>Отдельная копия: новые запуски откроют свои окна</source>
        <translation>Separate copy: new starts will open windows of their own</translation>
    </message>
    <message>
        <source>Файл &quot;%1&quot; не добавлен: это не торрент-файл или он повреждён.

%2</source>
        <translation>The file &quot;%1&quot; was not added: it is not a torrent file or it is damaged.

%2</translation>
    </message>
    <message>
        <source>Название: </source>
        <translation>Title: </translation>
    </message>
    <message>
        <source>Размер: </source>
        <translation>Size: </translation>
    </message>
    <message>
        <source>Файлов: </source>
        <translation>Files: </translation>
    </message>
    <message>
        <source>Частей: </source>
        <translation>Pieces: </translation>
    </message>
    <message>
        <source>Размер части: </source>
        <translation>Piece size: </translation>
    </message>
    <message>
        <source> байт (</source>
        <translation> bytes (</translation>
    </message>
    <message>
        <source>Текстовой файл (.txt)|*.txt</source>
        <translation>Text file (.txt)|*.txt</translation>
    </message>
    <message>
        <source>HTML файл (.html)|*.html</source>
        <translation>HTML file (.html)|*.html</translation>
    </message>
</context>
<context>
    <name>Velmora</name>
    <message>
        <source>запущенная копия не вышла вперёд</source>
        <translation>the running copy did not come forward</translation>
    </message>
    <message>
        <source>файл не передан запущенной копии</source>
        <translation>the file was not handed to the running copy</translation>
    </message>
    <message>
        <source>запущенная копия не приняла конец передачи</source>
        <translation>the running copy did not take the end of the hand-off</translation>
    </message>
    <message>
        <source>следующие копии не смогут передавать сюда файлы: </source>
        <translation>later copies will not be able to hand files over here: </translation>
    </message>
    <message>
        <source>работает отдельно, следующие запуски откроют свои окна: </source>
        <translation>running alone, later starts will open windows of their own: </translation>
    </message>
    <message>
        <source>нет связи с запущенной копией</source>
        <translation>no connection to the running copy</translation>
    </message>
</context>
</TS>
