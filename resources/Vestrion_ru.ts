<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>vsDataDisplay</name>
    <message>
        <source>Status</source>
        <translation>Статус</translation>
    </message>
    <message>
        <source>Safety</source>
        <translation>Безопасность</translation>
    </message>
    <message>
        <source>Names</source>
        <translation>Синонимы</translation>
    </message>
    <message>
        <source>Source</source>
        <translation>Источник</translation>
    </message>
    <message>
        <source>Production</source>
        <translation>Получение</translation>
    </message>
    <message>
        <source>Functions</source>
        <translation>Функции</translation>
    </message>
    <message>
        <source>Products</source>
        <translation>Использование</translation>
    </message>
    <message>
        <source>Add to my list</source>
        <translation>Добавить в мой список</translation>
    </message>
    <message>
        <source>Remove from my list</source>
        <translation>Убрать из моего списка</translation>
    </message>
</context>
<context>
    <name>vsDataModel</name>
    <message>
        <source>Group: %1</source>
        <translation>Группа: %1</translation>
    </message>
</context>
<context>
    <name>vsEntryView</name>
    <message>
        <source>Found: %1</source>
        <translation>Найдено: %1</translation>
    </message>
</context>
<context>
    <name>vsLabelReader</name>
    <message>
        <source>Ingredients</source>
        <translation>Состав продукта</translation>
    </message>
    <message>
        <source>Type or paste the ingredients</source>
        <translation>Введите или вставьте состав</translation>
    </message>
    <message>
        <source>Open picture…</source>
        <translation>Открыть снимок…</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Pictures (*.png *.jpg *.jpeg)</source>
        <translation>Снимки (*.png *.jpg *.jpeg)</translation>
    </message>
    <message>
        <source>Cannot open the picture</source>
        <translation>Не удаётся открыть снимок</translation>
    </message>
    <message>
        <source>No text in the picture</source>
        <translation>На снимке не найден текст</translation>
    </message>
    <message>
        <source>Pictures cannot be read here</source>
        <translation>Снимки здесь не читаются</translation>
    </message>
    <message>
        <source>No additives found</source>
        <translation>Добавки не найдены</translation>
    </message>
    <message>
        <source>Picture read</source>
        <translation>Снимок прочитан</translation>
    </message>
    <message>
        <source>Reading cancelled</source>
        <translation>Чтение отменено</translation>
    </message>
    <message>
        <source>Not all was read: drag over the list on the picture</source>
        <translation>Прочитано не всё: выделите состав на снимке</translation>
    </message>
    <message>
        <source>Picture not read whole: drag over the list on the picture</source>
        <translation>Снимок прочитан не весь: выделите состав на снимке</translation>
    </message>
</context>
<context>
    <name>vsLanguageButton</name>
    <message>
        <source>Russian</source>
        <translation>Русский</translation>
    </message>
    <message>
        <source>English</source>
        <translation>Английский</translation>
    </message>
    <message>
        <source>Ukrainian</source>
        <translation>Украинский</translation>
    </message>
    <message>
        <source>Belarusian</source>
        <translation>Белорусский</translation>
    </message>
    <message>
        <source>Kazakh</source>
        <translation>Казахский</translation>
    </message>
    <message>
        <source>German</source>
        <translation>Немецкий</translation>
    </message>
    <message>
        <source>French</source>
        <translation>Французский</translation>
    </message>
    <message>
        <source>Polish</source>
        <translation>Польский</translation>
    </message>
    <message>
        <source>Italian</source>
        <translation>Итальянский</translation>
    </message>
    <message>
        <source>Spanish</source>
        <translation>Испанский</translation>
    </message>
    <message>
        <source>Languages: %1</source>
        <translation>Языки: %1</translation>
    </message>
    <message>
        <source>Languages of the labels: %1</source>
        <translation>Языки этикеток: %1</translation>
    </message>
</context>
<context>
    <name>vsPictureView</name>
    <message>
        <source>Picture of the label</source>
        <translation>Снимок этикетки</translation>
    </message>
    <message>
        <source>Drag over the ingredient list to read only that part</source>
        <translation>Выделите на снимке состав, чтобы прочитать только его</translation>
    </message>
</context>
<context>
    <name>vsMainWindow</name>
    <message>
        <source>Search</source>
        <translation>Поиск</translation>
    </message>
    <message>
        <source>Keyboard On</source>
        <translation>Клавиатура вкл</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Стереть</translation>
    </message>
    <message>
        <source>Keyboard Off</source>
        <translation>Клавиатура выкл</translation>
    </message>
    <message>
        <source>Find by name</source>
        <translation>Поиск по названию</translation>
    </message>
    <message>
        <source>Read ingredients</source>
        <translation>Прочитать состав</translation>
    </message>
    <message>
        <source>My restrictions</source>
        <translation>Мои ограничения</translation>
    </message>
    <message>
        <source>About</source>
        <translation>О программе</translation>
    </message>
    <message>
        <source>About Vestrion</source>
        <translation>О программе Vestrion</translation>
    </message>
    <message>
        <source>Vestrion %1
Offline reference browser for food additive codes
Copyright (C) 2026 Morvane. All rights reserved.</source>
        <translation>Vestrion %1
Offline reference browser for food additive codes
Copyright (C) 2026 Morvane. All rights reserved.</translation>
    </message>
</context>
<context>
    <name>vsNameSearch</name>
    <message>
        <source>Name or code, as on the label</source>
        <translation>Название или код, как на этикетке</translation>
    </message>
    <message>
        <source>Find by name</source>
        <translation>Поиск по названию</translation>
    </message>
    <message>
        <source>Nothing found</source>
        <translation>Ничего не найдено</translation>
    </message>
</context>
<context>
    <name>vsRestrictions</name>
    <message>
        <source>sulphites</source>
        <translation>сульфиты</translation>
    </message>
    <message>
        <source>benzoates</source>
        <translation>бензоаты</translation>
    </message>
    <message>
        <source>nitrites and nitrates</source>
        <translation>нитриты и нитраты</translation>
    </message>
    <message>
        <source>glutamates and flavour enhancers</source>
        <translation>глутаматы и усилители вкуса</translation>
    </message>
    <message>
        <source>sweeteners</source>
        <translation>подсластители</translation>
    </message>
    <message>
        <source>phosphates</source>
        <translation>фосфаты</translation>
    </message>
    <message>
        <source>colours with a warning</source>
        <translation>красители с предупреждением</translation>
    </message>
    <message>
        <source>not vegan</source>
        <translation>не для веганов</translation>
    </message>
    <message>
        <source>not vegetarian</source>
        <translation>не для вегетарианцев</translation>
    </message>
    <message>
        <source>Not vegan</source>
        <translation>Не для веганов</translation>
    </message>
    <message>
        <source>Not vegetarian</source>
        <translation>Не для вегетарианцев</translation>
    </message>
    <message>
        <source>maybe not vegan</source>
        <translation>возможно, не для веганов</translation>
    </message>
    <message>
        <source>maybe not vegetarian</source>
        <translation>возможно, не для вегетарианцев</translation>
    </message>
    <message>
        <source>Maybe not vegan</source>
        <translation>Возможно, не для веганов</translation>
    </message>
    <message>
        <source>Maybe not vegetarian</source>
        <translation>Возможно, не для вегетарианцев</translation>
    </message>
    <message>
        <source>not known</source>
        <translation>нет сведений</translation>
    </message>
    <message>
        <source>Not known whether vegans may eat it</source>
        <translation>Нет сведений, подходит ли веганам</translation>
    </message>
    <message>
        <source>Not known whether vegetarians may eat it</source>
        <translation>Нет сведений, подходит ли вегетарианцам</translation>
    </message>
    <message>
        <source>On your list</source>
        <translation>В вашем списке</translation>
    </message>
    <message>
        <source>on your list</source>
        <translation>в вашем списке</translation>
    </message>
    <message>
        <source>%1 and %2</source>
        <translation>%1 и %2</translation>
    </message>
    <message>
        <source>All suitable</source>
        <translation>Всё подходит</translation>
    </message>
    <message numerus="yes">
        <source>%n of %1 unsuitable: %2</source>
        <translation>
            <numerusform>Не подходит %n из %1: %2</numerusform>
            <numerusform>Не подходят %n из %1: %2</numerusform>
            <numerusform>Не подходят %n из %1: %2</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n of %1 in doubt: %2</source>
        <translation>
            <numerusform>Под вопросом %n из %1: %2</numerusform>
            <numerusform>Под вопросом %n из %1: %2</numerusform>
            <numerusform>Под вопросом %n из %1: %2</numerusform>
        </translation>
    </message>
    <message>
        <source>In doubt: %1</source>
        <translation>Под вопросом: %1</translation>
    </message>
</context>
<context>
    <name>vsRestrictionsWindow</name>
    <message>
        <source>Diet</source>
        <translation>Диета</translation>
    </message>
    <message>
        <source>No diet</source>
        <translation>Без ограничений</translation>
    </message>
    <message>
        <source>Vegetarian</source>
        <translation>Вегетарианская</translation>
    </message>
    <message>
        <source>Vegan</source>
        <translation>Веганская</translation>
    </message>
    <message>
        <source>Groups to avoid</source>
        <translation>Избегать групп добавок</translation>
    </message>
    <message>
        <source>Single additives</source>
        <translation>Отдельные добавки</translation>
    </message>
    <message>
        <source>None. An additive's page adds it with &quot;Add to my list&quot;.</source>
        <translation>Пока нет. Добавку добавляет кнопка «Добавить в мой список» на её странице.</translation>
    </message>
</context>
</TS>
