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
        <source>Keyboard Off</source>
        <translation>Клавиатура выкл</translation>
    </message>
    <message>
        <source>Find by name</source>
        <translation>Поиск по названию</translation>
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
</context>
</TS>
