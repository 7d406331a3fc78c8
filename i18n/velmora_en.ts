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
    <name>TContentsModel</name>
    <message>
        <source>%1 байт</source>
        <translation>%1 bytes</translation>
    </message>
    <message>
        <source>Имя</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Размер</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>Файлов</source>
        <translation>Files</translation>
    </message>
</context>
<context>
    <name>TLinkLabel</name>
    <message>
        <source>Не открывается: начало адреса до «@» — имя пользователя, а не сайт; сайт — %1</source>
        <translation>Not opened: the part of the address before “@” is a user name, not a site; the site is %1</translation>
    </message>
    <message>
        <source>Ссылка ведёт на сайт %1</source>
        <translation>The link leads to the site %1</translation>
    </message>
</context>
<context>
    <name>TLoadProgress</name>
    <message>
        <source>Остановить</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Остановить загрузку (Esc): загруженное останется в списке</source>
        <translation>Stop loading (Esc): what is loaded stays in the list</translation>
    </message>
    <message>
        <source>%1 из %2</source>
        <translation>%1 of %2</translation>
    </message>
</context>
<context>
    <name>TLoadQueue</name>
    <message>
        <source>это не обычный файл</source>
        <translation>not a regular file</translation>
    </message>
    <message>
        <source>файла нет</source>
        <translation>no such file</translation>
    </message>
    <message>
        <source>нет прав на чтение</source>
        <translation>no permission to read</translation>
    </message>
    <message>
        <source>это папка</source>
        <translation>it is a folder</translation>
    </message>
    <message>
        <source>в пути файл вместо папки</source>
        <translation>a file stands for a folder in the path</translation>
    </message>
    <message>
        <source>слишком длинное имя</source>
        <translation>the name is too long</translation>
    </message>
    <message>
        <source>слишком много символьных ссылок подряд</source>
        <translation>too many symbolic links in a row</translation>
    </message>
    <message>
        <source>открыто слишком много файлов</source>
        <translation>too many open files</translation>
    </message>
    <message>
        <source>ошибка чтения с диска</source>
        <translation>error reading the disk</translation>
    </message>
    <message>
        <source>файл не открывается (код ошибки %1)</source>
        <translation>the file cannot be opened (error code %1)</translation>
    </message>
    <message>
        <source>не торрент-файл или файл повреждён</source>
        <translation>not a torrent file, or the file is damaged</translation>
    </message>
    <message>
        <source>папки нет</source>
        <translation>no such folder</translation>
    </message>
    <message>
        <source>нет прав на чтение папки</source>
        <translation>no permission to read the folder</translation>
    </message>
    <message>
        <source>это не папка</source>
        <translation>not a folder</translation>
    </message>
    <message>
        <source>папка не читается (код ошибки %1)</source>
        <translation>the folder cannot be read (error code %1)</translation>
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
    <name>TfrmContents</name>
    <message>
        <source>%1 файл, %2</source>
        <translation>%1 file(s), %2</translation>
    </message>
    <message>
        <source>%1 файла, %2</source>
        <translation>%1 files, %2</translation>
    </message>
    <message>
        <source>%1 файлов, %2</source>
        <translation>%1 files, %2</translation>
    </message>
    <message>
        <source>Фильтр: часть пути</source>
        <translation>Filter: part of the path</translation>
    </message>
    <message>
        <source>Файлы</source>
        <translation>Files</translation>
    </message>
    <message>
        <source>нет</source>
        <translation>no</translation>
    </message>
    <message>
        <source>Название:</source>
        <translation>Title:</translation>
    </message>
    <message>
        <source>Размер:</source>
        <translation>Size:</translation>
    </message>
    <message>
        <source>Частей:</source>
        <translation>Pieces:</translation>
    </message>
    <message>
        <source>Размер части:</source>
        <translation>Piece size:</translation>
    </message>
    <message>
        <source>Закрытый:</source>
        <translation>Private:</translation>
    </message>
    <message>
        <source>Создан:</source>
        <translation>Created:</translation>
    </message>
    <message>
        <source>Программа:</source>
        <translation>Created by:</translation>
    </message>
    <message>
        <source>Комментарий:</source>
        <translation>Comment:</translation>
    </message>
    <message>
        <source>Хеш v1 (SHA-1):</source>
        <translation>v1 hash (SHA-1):</translation>
    </message>
    <message>
        <source>Хеш v2 (SHA-256):</source>
        <translation>v2 hash (SHA-256):</translation>
    </message>
    <message>
        <source>Трекеры:</source>
        <translation>Trackers:</translation>
    </message>
    <message>
        <source>Веб-сиды:</source>
        <translation>Web seeds:</translation>
    </message>
    <message>
        <source>Сведения</source>
        <translation>Details</translation>
    </message>
    <message>
        <source>Содержимое: %1</source>
        <translation>Contents: %1</translation>
    </message>
    <message>
        <source>%1 (%2 байт)</source>
        <translation>%1 (%2 bytes)</translation>
    </message>
    <message>
        <source>%1 байт (%2)</source>
        <translation>%1 bytes (%2)</translation>
    </message>
    <message>
        <source>да</source>
        <translation>yes</translation>
    </message>
    <message>
        <source>не указано</source>
        <translation>not given</translation>
    </message>
    <message>
        <source>Уровень %1</source>
        <translation>Tier %1</translation>
    </message>
    <message>
        <source>… и ещё %1</source>
        <translation>… and %1 more</translation>
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
    <message>
        <source>Содержимое…</source>
        <translation>Contents…</translation>
    </message>
    <message>
        <source>Выделено ссылок: %1. Передать их все программе для магнитных ссылок?</source>
        <translation>%1 links selected. Hand them all to the program for magnet links?</translation>
    </message>
    <message>
        <source>Удалить из списка</source>
        <translation>Remove from the list</translation>
    </message>
    <message>
        <source>Записей: %1</source>
        <translation>Entries: %1</translation>
    </message>
    <message>
        <source>не загружен: %1</source>
        <translation>not loaded: %1</translation>
    </message>
    <message>
        <source>Файлов в загрузке: %1. Передать все их ссылки программе для магнитных ссылок?</source>
        <translation>%1 files in this load. Hand all their links to the program for magnet links?</translation>
    </message>
    <message>
        <source>Уже в списке: %1</source>
        <translation>Already in the list: %1</translation>
    </message>
    <message>
        <source>Уже были в списке файлов: %1, последний — %2</source>
        <translation>Already in the list: %1 files, the last one %2</translation>
    </message>
    <message>
        <source>Загрузка остановлена: добавлено %1 из %2</source>
        <translation>Loading stopped: %1 of %2 added</translation>
    </message>
    <message>
        <source>Не добавлено файлов: %1 из %2.</source>
        <translation>Files not added: %1 of %2.</translation>
    </message>
    <message>
        <source>Не прочитано папок: %1.</source>
        <translation>Folders not read: %1.</translation>
    </message>
    <message>
        <source>…и ещё %1 (весь список — в подробностях).</source>
        <translation>…and %1 more (the whole list is in the details).</translation>
    </message>
    <message>
        <source>Ссылка слишком длинная для программы магнитных ссылок</source>
        <translation>The link is too long for the magnet link program</translation>
    </message>
    <message>
        <source>Ссылку не открыть: она слишком длинная</source>
        <translation>Cannot open the link: it is too long</translation>
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
    <message>
        <source>запущенная копия Velmora жива, но занята и не приняла файлы за %1 с; файлы не переданы, откройте их ещё раз</source>
        <translation>the running copy of Velmora is alive but busy and did not take the files in %1 s; the files were not handed over, open them again</translation>
    </message>
    <message>
        <source>запущенная копия Velmora закрывается и за %1 с так и не закрылась; файлы не переданы, откройте их ещё раз</source>
        <translation>the running copy of Velmora is closing and had not closed after %1 s; the files were not handed over, open them again</translation>
    </message>
    <message>
        <source>запущенная копия Velmora не ответила</source>
        <translation>the running copy of Velmora did not answer</translation>
    </message>
</context>
</TS>
