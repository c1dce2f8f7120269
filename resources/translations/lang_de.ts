<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>AccountView</name>
    <message>
        <source>Account</source>
        <translation>Konto</translation>
    </message>
    <message>
        <source>To use Velmar PC you must log in with your Melodrome account</source>
        <translation>Um Velmar PC zu nutzen, melden Sie sich mit Ihrem Melodrome-Konto an</translation>
    </message>
    <message>
        <source>E-Mail</source>
        <translation>E-Mail</translation>
    </message>
    <message>
        <source>Insert email</source>
        <translation>E-Mail eingeben</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <source>Insert Password</source>
        <translation>Passwort eingeben</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>Geräte-ID</translation>
    </message>
    <message>
        <source>SongNet Credit</source>
        <translation>SongNet-Guthaben</translation>
    </message>
    <message>
        <source>Login</source>
        <translation>Anmelden</translation>
    </message>
    <message>
        <source>Don&apos;t you have a Melodrome account? Click here to create a new one</source>
        <translation>Noch kein Melodrome-Konto? Hier klicken, um eines zu erstellen</translation>
    </message>
    <message>
        <source>Did you forget your password? Click here to recover it</source>
        <translation>Passwort vergessen? Hier klicken, um es wiederherzustellen</translation>
    </message>
    <message>
        <source>User</source>
        <translation>Benutzer</translation>
    </message>
    <message>
        <source>Logout</source>
        <translation>Abmelden</translation>
    </message>
    <message>
        <source>Logging in…</source>
        <translation>Anmeldung läuft…</translation>
    </message>
    <message>
        <source>You are not logged in: %1.
Check the internet connection and press Login again.</source>
        <translation>Sie sind nicht angemeldet: %1.
Prüfen Sie die Internetverbindung und klicken Sie erneut auf Anmelden.</translation>
    </message>
    <message>
        <source>You are not logged in: %1.</source>
        <translation>Sie sind nicht angemeldet: %1.</translation>
    </message>
    <message>
        <source>Wrong e-mail or password</source>
        <translation>E-Mail-Adresse oder Passwort falsch</translation>
    </message>
</context>
<context>
    <name>ControlTrackSmall</name>
    <message>
        <source>Form</source>
        <translation>Formular</translation>
    </message>
    <message>
        <source>Ch. %1 -</source>
        <translation>Kan. %1 -</translation>
    </message>
    <message>
        <source>Play this channel</source>
        <translation>Diesen Kanal spielen</translation>
    </message>
    <message>
        <source>Mute this channel</source>
        <translation>Diesen Kanal stummschalten</translation>
    </message>
    <message>
        <source>Play this channel alone</source>
        <translation>Nur diesen Kanal spielen</translation>
    </message>
    <message>
        <source>Undo this channel&apos;s changes</source>
        <translation>Änderungen an diesem Kanal rückgängig machen</translation>
    </message>
</context>
<context>
    <name>DialogCopyFiles</name>
    <message>
        <source>Import files</source>
        <translation>Dateien importieren</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Copying %1 files</source>
        <translation>%1 Dateien werden kopiert</translation>
    </message>
    <message>
        <source>Copying %1 of </source>
        <translation>Kopiere %1 von </translation>
    </message>
</context>
<context>
    <name>DownloadMngr</name>
    <message>
        <source>This file already exists</source>
        <translation>Diese Datei existiert bereits</translation>
    </message>
    <message>
        <source>This file is already present, overwrite?</source>
        <translation>Diese Datei ist bereits vorhanden. Überschreiben?</translation>
    </message>
    <message>
        <source>the server announced no file size</source>
        <translation>der Server hat keine Dateigröße angegeben</translation>
    </message>
    <message>
        <source>the disk is full or cannot be written</source>
        <translation>der Datenträger ist voll oder nicht beschreibbar</translation>
    </message>
    <message>
        <source>%1 of %2 bytes arrived</source>
        <translation>%1 von %2 Bytes sind angekommen</translation>
    </message>
    <message>
        <source>the server named no web address for the file</source>
        <translation>der Server hat keine Webadresse für die Datei genannt</translation>
    </message>
    <message>
        <source>the disk of %1 is full</source>
        <translation>der Datenträger von %1 ist voll</translation>
    </message>
    <message>
        <source>the folder %1 is read-only</source>
        <translation>der Ordner %1 ist schreibgeschützt</translation>
    </message>
    <message>
        <source>the song&apos;s name is too long for the folder %1</source>
        <translation>der Name des Songs ist für den Ordner %1 zu lang</translation>
    </message>
    <message>
        <source>the file cannot be written in %1 (%2)</source>
        <translation>die Datei kann nicht in %1 geschrieben werden (%2)</translation>
    </message>
</context>
<context>
    <name>InstrChooserPopup</name>
    <message>
        <source>Form</source>
        <translation>Formular</translation>
    </message>
    <message>
        <source>Piano</source>
        <translation>Klavier</translation>
    </message>
    <message>
        <source>Chromatic Percussion</source>
        <translation>Chromatische Perkussion</translation>
    </message>
    <message>
        <source>Organ</source>
        <translation>Orgel</translation>
    </message>
    <message>
        <source>Guitar</source>
        <translation>Gitarre</translation>
    </message>
    <message>
        <source>Bass</source>
        <translation>Bass</translation>
    </message>
    <message>
        <source>Strings</source>
        <translation>Streicher</translation>
    </message>
    <message>
        <source>Ensemble</source>
        <translation>Ensemble</translation>
    </message>
    <message>
        <source>Brass</source>
        <translation>Blechbläser</translation>
    </message>
    <message>
        <source>Reed</source>
        <translation>Rohrblattinstrumente</translation>
    </message>
    <message>
        <source>Pipe</source>
        <translation>Flöten</translation>
    </message>
    <message>
        <source>Synth Lead</source>
        <translation>Synth-Lead</translation>
    </message>
    <message>
        <source>Synth Pad</source>
        <translation>Synth-Pad</translation>
    </message>
    <message>
        <source>Synth Effects</source>
        <translation>Synth-Effekte</translation>
    </message>
    <message>
        <source>Ethnic</source>
        <translation>Ethnisch</translation>
    </message>
    <message>
        <source>Percussive</source>
        <translation>Perkussiv</translation>
    </message>
    <message>
        <source>Sound Effects</source>
        <translation>Soundeffekte</translation>
    </message>
</context>
<context>
    <name>KaraokeTextWidget</name>
    <message>
        <source>New Karaoke window</source>
        <translation>Neues Karaoke-Fenster</translation>
    </message>
    <message>
        <source>Unpin Karaoke window</source>
        <translation>Karaoke-Fenster lösen</translation>
    </message>
    <message>
        <source>Fullscreen Karaoke window</source>
        <translation>Karaoke-Fenster im Vollbild</translation>
    </message>
    <message>
        <source>Reduce screen</source>
        <translation>Vollbild beenden</translation>
    </message>
    <message>
        <source>Full screen</source>
        <translation>Vollbild</translation>
    </message>
</context>
<context>
    <name>LyricsModel</name>
    <message>
        <source>Text NOT found</source>
        <translation>Text NICHT gefunden</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Loading...</source>
        <translation>Wird geladen...</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>Laut&#xad;stärke</translation>
    </message>
    <message>
        <source>Melody CH</source>
        <translation>Melodie-CH</translation>
    </message>
    <message>
        <source>Melody Mute</source>
        <translation>Melodie stumm</translation>
    </message>
    <message>
        <source>Fullscreen Window</source>
        <translation>Fenster im Vollbild</translation>
    </message>
    <message>
        <source>Unpin Window</source>
        <translation>Fenster lösen</translation>
    </message>
    <message>
        <source>Karaoke</source>
        <translation>Karaoke</translation>
    </message>
    <message>
        <source>Library</source>
        <translation>Bibliothek</translation>
    </message>
    <message>
        <source>Editing</source>
        <translation>Bearbeiten</translation>
    </message>
    <message>
        <source>Mixer</source>
        <translation>Mixer</translation>
    </message>
    <message>
        <source>Chords</source>
        <translation>Akkorde</translation>
    </message>
    <message>
        <source>Report an Error</source>
        <translation>Fehler melden</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>Importieren</translation>
    </message>
    <message>
        <source>Attention</source>
        <translation>Achtung</translation>
    </message>
    <message>
        <source>Melody ON</source>
        <translation>Melodie AN</translation>
    </message>
    <message>
        <source>Melody OFF</source>
        <translation>Melodie AUS</translation>
    </message>
    <message>
        <source>Melody SEMI</source>
        <translation>Melodie HALB</translation>
    </message>
    <message>
        <source>Errored</source>
        <translation>Importfehler</translation>
    </message>
    <message>
        <source>These files cannot be copied because they do not seem to be song files:</source>
        <translation>Diese Dateien können nicht kopiert werden, da sie keine Songdateien zu sein scheinen:</translation>
    </message>
    <message>
        <source>Duplicated Entries</source>
        <translation>Doppelte Einträge</translation>
    </message>
    <message>
        <source>These songs cannot be copied because they&apos;re already present:</source>
        <translation>Diese Songs können nicht kopiert werden, da sie bereits vorhanden sind:</translation>
    </message>
    <message>
        <source>All songs files</source>
        <translation>Alle Songdateien</translation>
    </message>
    <message>
        <source>MIDI files</source>
        <translation>MIDI-Dateien</translation>
    </message>
    <message>
        <source>MP3 files</source>
        <translation>MP3-Dateien</translation>
    </message>
    <message>
        <source>Fast Run</source>
        <translation>Schnellstart</translation>
    </message>
    <message>
        <source>Fast run: %1</source>
        <translation>Schnellstart: %1</translation>
    </message>
    <message>
        <source>Update available</source>
        <translation>Update verfügbar</translation>
    </message>
    <message>
        <source>An update is available, do you want to download it?</source>
        <translation>Ein Update ist verfügbar. Möchten Sie es herunterladen?</translation>
    </message>
    <message>
        <source>Downloading the update</source>
        <translation>Update wird heruntergeladen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>The downloaded update is damaged and was not installed.</source>
        <translation>Das heruntergeladene Update ist beschädigt und wurde nicht installiert.</translation>
    </message>
    <message>
        <source>The update has been downloaded to:
%1
Close the program and install it from there.</source>
        <translation>Das Update wurde heruntergeladen nach:
%1
Beenden Sie das Programm und installieren Sie es von dort.</translation>
    </message>
    <message>
        <source>An updated version of Timbra is available. Do you want to download it now?</source>
        <translation>Eine neue Version von Timbra ist verfügbar. Möchten Sie sie jetzt herunterladen?</translation>
    </message>
    <message>
        <source>The update could not be downloaded: %1.
Check the internet connection; the update is offered again at the next start of the program.</source>
        <translation>Das Update konnte nicht heruntergeladen werden: %1.
Prüfen Sie die Internetverbindung; das Update wird beim nächsten Programmstart erneut angeboten.</translation>
    </message>
    <message>
        <source>Changes not saved</source>
        <translation>Änderungen nicht gespeichert</translation>
    </message>
    <message>
        <source>These files are too large to be songs:</source>
        <translation>Diese Dateien sind zu groß, um Songs zu sein:</translation>
    </message>
    <message>
        <source>These songs could not be copied:</source>
        <translation>Diese Songs konnten nicht kopiert werden:</translation>
    </message>
    <message>
        <source>The news of the week could not be fetched: %1.
Check the internet connection; the news are fetched again at the next start.</source>
        <translation>Die Neuheiten der Woche konnten nicht geladen werden: %1.
Prüfen Sie die Internetverbindung; die Neuheiten werden beim nächsten Start erneut geladen.</translation>
    </message>
    <message>
        <source>Sound bank</source>
        <translation>Soundbank</translation>
    </message>
    <message>
        <source>The sound bank of the software synthesizer is missing or cannot be read:
%1
MIDI songs make no sound without it. Download it now?</source>
        <translation>Die Soundbank des Software-Synthesizers fehlt oder ist nicht lesbar:
%1
Ohne sie klingen MIDI-Songs nicht. Jetzt herunterladen?</translation>
    </message>
    <message>
        <source>Try Again</source>
        <translation>Erneut versuchen</translation>
    </message>
    <message>
        <source>Quit Without Saving</source>
        <translation>Beenden ohne Speichern</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Abspielen</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Go to a point of the song</source>
        <translation>Zu einer Stelle im Lied springen</translation>
    </message>
    <message>
        <source>Account</source>
        <translation>Konto</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>No web browser could be opened. The page to report an error is:
%1</source>
        <translation>Es konnte kein Webbrowser geöffnet werden. Die Seite zum Melden eines Fehlers ist:
%1</translation>
    </message>
    <message>
        <source>The news of the week could not be fetched: %1.
The news are fetched again at the next start.</source>
        <translation>Die Neuheiten der Woche konnten nicht geladen werden: %1.
Die Neuheiten werden beim nächsten Start erneut geladen.</translation>
    </message>
    <message>
        <source>The update could not be downloaded: %1.
The update is offered again at the next start of the program.</source>
        <translation>Das Update konnte nicht heruntergeladen werden: %1.
Das Update wird beim nächsten Programmstart erneut angeboten.</translation>
    </message>
</context>
<context>
    <name>MelodromeManager</name>
    <message>
        <source>Not logged in</source>
        <translation>Nicht angemeldet</translation>
    </message>
    <message>
        <source>You&apos;re not logged in, please login then retry</source>
        <translation>Sie sind nicht angemeldet. Bitte melden Sie sich an und versuchen Sie es erneut.</translation>
    </message>
    <message>
        <source>Download in progress</source>
        <translation>Download läuft</translation>
    </message>
    <message>
        <source>Another song is being downloaded, please retry when it has finished</source>
        <translation>Ein anderer Song wird gerade heruntergeladen. Bitte versuchen Sie es erneut, wenn er fertig ist.</translation>
    </message>
    <message>
        <source>the store gave no address for the song</source>
        <translation>der Shop hat keine Adresse für den Song angegeben</translation>
    </message>
    <message>
        <source>the file that arrived is no song the program can read</source>
        <translation>die empfangene Datei ist kein Song, den das Programm lesen kann</translation>
    </message>
    <message>
        <source>the library is in use by another program, so the song was not kept</source>
        <translation>die Bibliothek wird von einem anderen Programm benutzt, daher wurde das Lied nicht behalten</translation>
    </message>
    <message>
        <source>the library file did not keep the song</source>
        <translation>die Bibliotheksdatei hat das Lied nicht behalten</translation>
    </message>
</context>
<context>
    <name>MelodyChannelPopup</name>
    <message>
        <source>Form</source>
        <translation>Formular</translation>
    </message>
    <message>
        <source>Select Melody Channel</source>
        <translation>Melodiekanal wählen</translation>
    </message>
    <message>
        <source>Track %1</source>
        <translation>Spur %1</translation>
    </message>
</context>
<context>
    <name>Mp3RW</name>
    <message>
        <source>its ID3 tag (version 2.2, unsynchronised or with a checksum) cannot be rewritten without damaging it</source>
        <translation>sein ID3-Tag (Version 2.2, unsynchronisiert oder mit Prüfsumme) lässt sich nicht neu schreiben, ohne ihn zu beschädigen</translation>
    </message>
</context>
<context>
    <name>NewWidgetWindow</name>
    <message>
        <source>Chords</source>
        <translation>Akkorde</translation>
    </message>
    <message>
        <source>Mixer</source>
        <translation>Mixer</translation>
    </message>
    <message>
        <source>Editing</source>
        <translation>Bearbeiten</translation>
    </message>
    <message>
        <source>Library</source>
        <translation>Bibliothek</translation>
    </message>
    <message>
        <source>Karaoke</source>
        <translation>Karaoke</translation>
    </message>
</context>
<context>
    <name>ReplyWatch</name>
    <message>
        <source>the server did not answer in time</source>
        <translation>der Server hat nicht rechtzeitig geantwortet</translation>
    </message>
    <message>
        <source>the server answered with error %1</source>
        <translation>der Server hat mit Fehler %1 geantwortet</translation>
    </message>
    <message>
        <source>the server cannot be reached</source>
        <translation>der Server ist nicht erreichbar</translation>
    </message>
    <message>
        <source>the connection broke off</source>
        <translation>die Verbindung wurde unterbrochen</translation>
    </message>
    <message>
        <source>the server sent an empty answer</source>
        <translation>der Server hat eine leere Antwort gesendet</translation>
    </message>
    <message>
        <source>the answer arrived incomplete</source>
        <translation>die Antwort kam unvollständig an</translation>
    </message>
    <message>
        <source>the server&apos;s answer was too large</source>
        <translation>die Antwort des Servers war zu groß</translation>
    </message>
    <message>
        <source>the server sent the request on to another site (%1), where the program sends nothing</source>
        <translation>der Server hat die Anfrage an eine andere Seite (%1) weitergeleitet, an die das Programm nichts sendet</translation>
    </message>
    <message>
        <source>no secure connection could be made with the server</source>
        <translation>mit dem Server konnte keine sichere Verbindung hergestellt werden</translation>
    </message>
    <message>
        <source>the network refused the request (error %1)</source>
        <translation>das Netzwerk hat die Anfrage abgelehnt (Fehler %1)</translation>
    </message>
    <message>
        <source>the server closed the connection without answering as a web server does</source>
        <translation>der Server hat die Verbindung geschlossen, ohne wie ein Webserver zu antworten</translation>
    </message>
    <message>
        <source>the store is busy; try again in a few minutes</source>
        <translation>der Shop ist ausgelastet; versuchen Sie es in ein paar Minuten erneut</translation>
    </message>
    <message>
        <source>the store is busy; try again in a moment</source>
        <translation>der Shop ist ausgelastet; versuchen Sie es gleich noch einmal</translation>
    </message>
    <message>
        <source>the store is busy; try again in %1 seconds</source>
        <translation>der Shop ist ausgelastet; versuchen Sie es in %1 Sekunden erneut</translation>
    </message>
    <message>
        <source>the store is busy; try again in %1 minutes</source>
        <translation>der Shop ist ausgelastet; versuchen Sie es in %1 Minuten erneut</translation>
    </message>
    <message>
        <source>the store is busy; try again in %1 hours</source>
        <translation>der Shop ist ausgelastet; versuchen Sie es in %1 Stunden erneut</translation>
    </message>
</context>
<context>
    <name>SafeSave</name>
    <message>
        <source>the song file is read-only</source>
        <translation>die Songdatei ist schreibgeschützt</translation>
    </message>
    <message>
        <source>the song&apos;s folder is read-only</source>
        <translation>der Ordner des Songs ist schreibgeschützt</translation>
    </message>
    <message>
        <source>%1 is a link</source>
        <translation>%1 ist eine Verknüpfung</translation>
    </message>
    <message>
        <source>%1 is not a file</source>
        <translation>%1 ist keine Datei</translation>
    </message>
    <message>
        <source>%1 was made by a user who may not write the song</source>
        <translation>%1 wurde von einem Benutzer angelegt, der den Song nicht schreiben darf</translation>
    </message>
    <message>
        <source>%1 is larger than a song may be</source>
        <translation>%1 ist größer, als ein Song sein darf</translation>
    </message>
    <message>
        <source>%1, and is left alone</source>
        <translation>%1; die Datei bleibt unangetastet</translation>
    </message>
    <message>
        <source>A save of %1 was cut off, and another file was put in its place since: it is not written over, and what %1 held before that save is kept in %2.</source>
        <translation>Ein Speichern von %1 wurde abgebrochen, und seither steht eine andere Datei an seiner Stelle: Sie wird nicht überschrieben, und was %1 vor diesem Speichern enthielt, ist in %2 aufbewahrt.</translation>
    </message>
    <message>
        <source>being saved by another user; try again</source>
        <translation>wird gerade von einem anderen Benutzer gespeichert; bitte erneut versuchen</translation>
    </message>
</context>
<context>
    <name>SeekTrackSlider</name>
    <message>
        <source>Position</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>Bar: %1.1</source>
        <translation>Takt: %1.1</translation>
    </message>
</context>
<context>
    <name>SettingsView</name>
    <message>
        <source>Options</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>&lt;b&gt;Options&lt;/b&gt;</source>
        <translation>&lt;b&gt;Optionen&lt;/b&gt;</translation>
    </message>
    <message>
        <source>Application</source>
        <translation>Anwendung</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Sprache</translation>
    </message>
    <message>
        <source>Double-click action</source>
        <translation>Doppelklick-Aktion</translation>
    </message>
    <message>
        <source>Devices</source>
        <translation>Geräte</translation>
    </message>
    <message>
        <source>MIDI</source>
        <translation>MIDI</translation>
    </message>
    <message>
        <source>Audio</source>
        <translation>Audio</translation>
    </message>
    <message>
        <source>Midi Settings</source>
        <translation>MIDI-Einstellungen</translation>
    </message>
    <message>
        <source>Chord</source>
        <translation>Akkorde</translation>
    </message>
    <message>
        <source>Fast Run</source>
        <translation>Schnellstart</translation>
    </message>
    <message>
        <source>Karaoke</source>
        <translation>Karaoke</translation>
    </message>
    <message>
        <source>Text Font</source>
        <translation>Schriftart</translation>
    </message>
    <message>
        <source>Text Size</source>
        <translation>Schriftgröße</translation>
    </message>
    <message>
        <source>Text Alignment</source>
        <translation>Textausrichtung</translation>
    </message>
    <message>
        <source>Background image</source>
        <translation>Hintergrundbild</translation>
    </message>
    <message>
        <source>&lt;none&gt;</source>
        <translation>&lt;keines&gt;</translation>
    </message>
    <message>
        <source>Background color</source>
        <translation>Hintergrundfarbe</translation>
    </message>
    <message>
        <source>Lyrics</source>
        <translation>Liedtext</translation>
    </message>
    <message>
        <source>Lyrics Highlight</source>
        <translation>Liedtext-Markierung</translation>
    </message>
    <message>
        <source>Playback</source>
        <translation>Wiedergabe</translation>
    </message>
    <message>
        <source>Key</source>
        <translation>Tonart</translation>
    </message>
    <message>
        <source>Tempo</source>
        <translation>Tempo</translation>
    </message>
    <message>
        <source>Lyrics time offset</source>
        <translation>Liedtext-Zeitversatz</translation>
    </message>
    <message>
        <source>Restore Original Layout</source>
        <translation>Fensteranordnung zurücksetzen</translation>
    </message>
    <message>
        <source>Rebuild Database</source>
        <translation>Datenbank neu aufbauen</translation>
    </message>
    <message>
        <source>About Qt</source>
        <translation>Über Qt</translation>
    </message>
    <message>
        <source>Italian</source>
        <translation>Italienisch</translation>
    </message>
    <message>
        <source>International</source>
        <translation>International</translation>
    </message>
    <message>
        <source>Small</source>
        <translation>Klein</translation>
    </message>
    <message>
        <source>Medium</source>
        <translation>Mittel</translation>
    </message>
    <message>
        <source>Large</source>
        <translation>Groß</translation>
    </message>
    <message>
        <source>Center</source>
        <translation>Zentriert</translation>
    </message>
    <message>
        <source>Left</source>
        <translation>Links</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Abspielen</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>ATTENTION: Perform this operation only in case of malfunctions.</source>
        <translation>ACHTUNG: Führen Sie diesen Vorgang nur bei Fehlfunktionen aus.</translation>
    </message>
    <message>
        <source>Do you want to proceed?</source>
        <translation>Möchten Sie fortfahren?</translation>
    </message>
    <message>
        <source>Attention</source>
        <translation>Achtung</translation>
    </message>
    <message>
        <source>Open Image</source>
        <translation>Bild öffnen</translation>
    </message>
    <message>
        <source>Image Files (*.png *.jpg *.bmp)</source>
        <translation>Bilddateien (*.png *.jpg *.bmp)</translation>
    </message>
    <message>
        <source>Cannot connect to the MIDI Device</source>
        <translation>Verbindung zum MIDI-Gerät nicht möglich</translation>
    </message>
    <message>
        <source>It may be in use from another software, close the software and connect the device from the Options menu</source>
        <translation>Es wird möglicherweise von einem anderen Programm verwendet. Schließen Sie dieses Programm und verbinden Sie das Gerät über das Menü Optionen.</translation>
    </message>
    <message>
        <source>No audio device</source>
        <translation>Kein Audiogerät</translation>
    </message>
    <message>
        <source>It seems you&apos;ve no audio device in your PC, please plug a device and retry</source>
        <translation>Offenbar ist in Ihrem PC kein Audiogerät vorhanden. Bitte schließen Sie ein Gerät an und versuchen Sie es erneut.</translation>
    </message>
    <message>
        <source>Cannot connect to the audio device</source>
        <translation>Verbindung zum Audiogerät nicht möglich</translation>
    </message>
    <message>
        <source>Cannot disconnect the device while playing</source>
        <translation>Das Gerät kann während der Wiedergabe nicht getrennt werden</translation>
    </message>
    <message>
        <source>Please select the device</source>
        <translation>Bitte wählen Sie das Gerät aus</translation>
    </message>
    <message>
        <source>Cannot connect to the audio Device</source>
        <translation>Verbindung zum Audiogerät nicht möglich</translation>
    </message>
    <message>
        <source>No real-time priority: the music keeps time with a little more delay</source>
        <translation>Keine Echtzeit-Priorität: Die Musik hält den Takt mit etwas mehr Verzögerung</translation>
    </message>
    <message>
        <source>Real-time priority: granted</source>
        <translation>Echtzeit-Priorität: gewährt</translation>
    </message>
    <message>
        <source>The audio device %1 is not connected: the sound goes to %2.</source>
        <translation>Das Audiogerät %1 ist nicht angeschlossen: Der Ton geht an %2.</translation>
    </message>
    <message>
        <source>The sound bank of the software synthesizer is missing or cannot be read: %1</source>
        <translation>Die Soundbank des Software-Synthesizers fehlt oder ist nicht lesbar: %1</translation>
    </message>
    <message>
        <source>The MIDI output %1 could not be opened: MIDI songs play on %2.</source>
        <translation>Der MIDI-Ausgang %1 ließ sich nicht öffnen: MIDI-Songs spielen auf %2.</translation>
    </message>
    <message>
        <source>MIDI songs play on %1.</source>
        <translation>MIDI-Songs spielen auf %1.</translation>
    </message>
    <message>
        <source>The audio device %1 could not be opened: the sound goes to %2.</source>
        <translation>Das Audiogerät %1 ließ sich nicht öffnen: der Ton geht an %2.</translation>
    </message>
    <message>
        <source>sequencer</source>
        <translation>Sequencer</translation>
    </message>
    <message>
        <source>synthesizer audio</source>
        <translation>Synthesizer-Audio</translation>
    </message>
    <message>
        <source>song player audio</source>
        <translation>Audio der Song-Wiedergabe</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>real-time priority</source>
        <translation>Echtzeitpriorität</translation>
    </message>
    <message>
        <source>normal priority</source>
        <translation>normale Priorität</translation>
    </message>
    <message>
        <source>Press Stop to change the outputs.</source>
        <translation>Drücken Sie Stopp, um die Ausgänge zu wechseln.</translation>
    </message>
    <message>
        <source>No sound server: the outputs chosen are used once it is back.</source>
        <translation>Kein Soundserver: Die gewählten Ausgänge werden benutzt, sobald er zurück ist.</translation>
    </message>
    <message>
        <source> ms</source>
        <translation> ms</translation>
    </message>
</context>
<context>
    <name>SongRW</name>
    <message>
        <source>the program does not edit this kind of file</source>
        <translation>das Programm bearbeitet diese Art von Datei nicht</translation>
    </message>
    <message>
        <source>its backup cannot be read: %1</source>
        <translation>seine Sicherungskopie kann nicht gelesen werden: %1</translation>
    </message>
    <message>
        <source>there is no backup of the song</source>
        <translation>es gibt keine Sicherungskopie des Songs</translation>
    </message>
    <message>
        <source>its backup could not be made: %1</source>
        <translation>seine Sicherungskopie konnte nicht angelegt werden: %1</translation>
    </message>
    <message>
        <source>its backup is damaged: its MIDI data cannot be read</source>
        <translation>seine Sicherungskopie ist beschädigt: ihre MIDI-Daten können nicht gelesen werden</translation>
    </message>
</context>
<context>
    <name>SongTexts</name>
    <message>
        <source>&lt;UNKNOWN&gt;</source>
        <translation>&lt;UNBEKANNT&gt;</translation>
    </message>
</context>
<context>
    <name>SoundfontDialog</name>
    <message>
        <source>Timbra</source>
        <translation>Timbra</translation>
    </message>
    <message>
        <source>Turn your PC or Mac into a MIDI generator with professional sounds</source>
        <translation>Verwandeln Sie Ihren PC oder Mac in einen MIDI-Klangerzeuger mit professionellen Sounds</translation>
    </message>
    <message>
        <source>In combination with Velmar PC you can play MIDI files with the highest audio quality</source>
        <translation>Zusammen mit Velmar PC spielen Sie MIDI-Dateien in höchster Klangqualität</translation>
    </message>
    <message>
        <source>Over 180 sounds and 18 drum kits are at your disposal</source>
        <translation>Über 180 Klänge und 18 Drumkits stehen Ihnen zur Verfügung</translation>
    </message>
    <message>
        <source>Download in progress...</source>
        <translation>Download läuft...</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Attention</source>
        <translation>Achtung</translation>
    </message>
</context>
<context>
    <name>SoundfontManager</name>
    <message>
        <source>Attention</source>
        <translation>Achtung</translation>
    </message>
    <message>
        <source>Timbra cannot be downloaded now, please try again later</source>
        <translation>Timbra kann jetzt nicht heruntergeladen werden, bitte versuchen Sie es später erneut</translation>
    </message>
    <message>
        <source>Timbra needs to be downloaded. Do you want to proceed now?</source>
        <translation>Timbra muss heruntergeladen werden. Möchten Sie jetzt fortfahren?</translation>
    </message>
    <message>
        <source>Downloading Timbra...</source>
        <translation>Timbra wird heruntergeladen...</translation>
    </message>
    <message>
        <source>Are you sure you want to stop the Timbra download?</source>
        <translation>Möchten Sie den Download von Timbra wirklich abbrechen?</translation>
    </message>
    <message>
        <source>Sound bank</source>
        <translation>Soundbank</translation>
    </message>
    <message>
        <source>The new sound bank could not be installed: %1.
The previous sound bank stays in use. Check the internet connection and try again later.</source>
        <translation>Die neue Soundbank konnte nicht installiert werden: %1.
Die bisherige Soundbank bleibt in Gebrauch. Prüfen Sie die Internetverbindung und versuchen Sie es später erneut.</translation>
    </message>
    <message>
        <source>The sound bank could not be installed: %1.
The synthesizer stays silent without it. Check the internet connection and start the program again to retry.</source>
        <translation>Die Soundbank konnte nicht installiert werden: %1.
Ohne sie bleibt der Synthesizer stumm. Prüfen Sie die Internetverbindung und starten Sie das Programm neu, um es erneut zu versuchen.</translation>
    </message>
    <message>
        <source>the downloaded file cannot be read</source>
        <translation>die heruntergeladene Datei kann nicht gelesen werden</translation>
    </message>
    <message>
        <source>%1 of %2 bytes arrived</source>
        <translation>%1 von %2 Bytes sind angekommen</translation>
    </message>
    <message>
        <source>the file is no sound bank</source>
        <translation>die Datei ist keine Soundbank</translation>
    </message>
    <message>
        <source>the file cannot be written in %1</source>
        <translation>die Datei kann nicht in %1 geschrieben werden</translation>
    </message>
    <message>
        <source>the file that arrived is not the one the server announced</source>
        <translation>die angekommene Datei ist nicht die vom Server angekündigte</translation>
    </message>
    <message>
        <source>The new sound bank could not be installed: %1.
The previous sound bank stays in use.</source>
        <translation>Die neue Soundbank konnte nicht installiert werden: %1.
Die bisherige Soundbank bleibt in Gebrauch.</translation>
    </message>
    <message>
        <source>The sound bank could not be installed: %1.
The synthesizer stays silent without it; start the program again to retry.</source>
        <translation>Die Soundbank konnte nicht installiert werden: %1.
Ohne sie bleibt der Synthesizer stumm; starten Sie das Programm neu, um es erneut zu versuchen.</translation>
    </message>
</context>
<context>
    <name>StartedSong</name>
    <message>
        <source>Cannot play this file</source>
        <translation>Diese Datei kann nicht abgespielt werden</translation>
    </message>
    <message>
        <source>no such file</source>
        <translation>die Datei existiert nicht</translation>
    </message>
    <message>
        <source>not a file: a folder, a device or a pipe</source>
        <translation>keine Datei: ein Ordner, ein Gerät oder eine Pipe</translation>
    </message>
    <message>
        <source>cannot be read: %1</source>
        <translation>kann nicht gelesen werden: %1</translation>
    </message>
    <message>
        <source>the file is empty</source>
        <translation>die Datei ist leer</translation>
    </message>
    <message>
        <source>too large for a song: %1, at most %2</source>
        <translation>zu groß für einen Song: %1, höchstens %2</translation>
    </message>
    <message>
        <source>not a song file the program plays</source>
        <translation>keine Song-Datei, die das Programm abspielt</translation>
    </message>
    <message>
        <source>its MIDI data cannot be read</source>
        <translation>seine MIDI-Daten können nicht gelesen werden</translation>
    </message>
    <message>
        <source>too large to play: its notes and other events take more than %1 once read</source>
        <translation>zu groß zum Abspielen: seine Noten und übrigen Ereignisse belegen gelesen mehr als %1</translation>
    </message>
    <message>
        <source>too long to play: more than %1 bars</source>
        <translation>zu lang zum Abspielen: mehr als %1 Takte</translation>
    </message>
    <message>
        <source>too many lyric rows to show: more than %1</source>
        <translation>zu viele Liedtextzeilen zum Anzeigen: mehr als %1</translation>
    </message>
    <message>
        <source>too many lyric syllables to show: more than %1</source>
        <translation>zu viele Liedtextsilben zum Anzeigen: mehr als %1</translation>
    </message>
    <message>
        <source>too many chords to show: more than %1</source>
        <translation>zu viele Akkorde zum Anzeigen: mehr als %1</translation>
    </message>
    <message>
        <source>its timing (a division of 0, or frames of film or video) is not one the program plays</source>
        <translation>seine Zeiteinteilung (eine Auflösung von 0 oder Bilder von Film oder Video) spielt das Programm nicht</translation>
    </message>
    <message>
        <source>no audio the program can decode</source>
        <translation>kein Audio, das das Programm dekodieren kann</translation>
    </message>
    <message>
        <source>the player could not load it</source>
        <translation>der Player konnte ihn nicht laden</translation>
    </message>
    <message>
        <source>The changes to %1 were not kept: %2.</source>
        <translation>Die Änderungen an %1 wurden nicht behalten: %2.</translation>
    </message>
    <message>
        <source>The changes to %1 are heard but will not be kept: %2.</source>
        <translation>Die Änderungen an %1 sind zu hören, werden aber nicht behalten: %2.</translation>
    </message>
    <message>
        <source>The changes to %1 could not be written yet: %2. They are kept and will be written again at the next stop or when the program quits.</source>
        <translation>Die Änderungen an %1 konnten noch nicht geschrieben werden: %2. Sie bleiben erhalten und werden beim nächsten Stopp oder beim Beenden des Programms erneut geschrieben.</translation>
    </message>
    <message>
        <source>The changes to %1 could not be written: %2.</source>
        <translation>Die Änderungen an %1 konnten nicht geschrieben werden: %2.</translation>
    </message>
    <message>
        <source>another song was put in its place before they were written</source>
        <translation>ein anderer Song wurde an seine Stelle gesetzt, bevor sie geschrieben wurden</translation>
    </message>
    <message>
        <source>being saved by another user; try again</source>
        <translation>wird gerade von einem anderen Benutzer gespeichert; bitte erneut versuchen</translation>
    </message>
</context>
<context>
    <name>StoreAnswer</name>
    <message>
        <source>a web page came instead of the store&apos;s answer (the network may want you to sign in through a web browser first, or the store is under maintenance)</source>
        <translation>statt der Antwort des Shops kam eine Webseite (das Netzwerk verlangt vielleicht zuerst eine Anmeldung im Webbrowser, oder der Shop wird gewartet)</translation>
    </message>
    <message>
        <source>the store&apos;s answer cannot be read</source>
        <translation>die Antwort des Shops ist nicht lesbar</translation>
    </message>
</context>
<context>
    <name>TitleBarWindow</name>
    <message>
        <source>Form</source>
        <translation>Formular</translation>
    </message>
    <message>
        <source>Pin the window</source>
        <translation>Fenster andocken</translation>
    </message>
    <message>
        <source>Reduce to icon</source>
        <translation>Minimieren</translation>
    </message>
    <message>
        <source>Fullscreen window</source>
        <translation>Vollbild</translation>
    </message>
    <message>
        <source>Close the window</source>
        <translation>Fenster schließen</translation>
    </message>
    <message>
        <source>Reduce Window</source>
        <translation>Vollbild beenden</translation>
    </message>
</context>
<context>
    <name>chordsView</name>
    <message>
        <source>Form</source>
        <translation>Formular</translation>
    </message>
    <message>
        <source>Piano</source>
        <translation>Klavier</translation>
    </message>
    <message>
        <source>Guitar</source>
        <translation>Gitarre</translation>
    </message>
    <message>
        <source>Text</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>There are no chords in this backing track</source>
        <translation>Diese Begleitspur enthält keine Akkorde</translation>
    </message>
</context>
<context>
    <name>editView</name>
    <message>
        <source>Form</source>
        <translation>Formular</translation>
    </message>
    <message>
        <source>Undo every change made to this song since it started</source>
        <translation>Alle Änderungen an diesem Song seit seinem Start rückgängig machen</translation>
    </message>
    <message>
        <source>Restore the song&apos;s original settings</source>
        <translation>Die ursprünglichen Einstellungen des Songs wiederherstellen</translation>
    </message>
    <message>
        <source>Key down a semitone</source>
        <translation>Einen Halbton tiefer</translation>
    </message>
    <message>
        <source>Key up a semitone</source>
        <translation>Einen Halbton höher</translation>
    </message>
    <message>
        <source>Slower</source>
        <translation>Langsamer</translation>
    </message>
    <message>
        <source>Faster</source>
        <translation>Schneller</translation>
    </message>
    <message>
        <source>Restore the original settings</source>
        <translation>Ursprüngliche Einstellungen wiederherstellen</translation>
    </message>
    <message>
        <source>%1 has no copy of its original settings: the program has not saved changes into it.</source>
        <translation>Von %1 gibt es keine Kopie der ursprünglichen Einstellungen: Das Programm hat keine Änderungen darin gespeichert.</translation>
    </message>
    <message>
        <source>The original settings of %1 cannot be put back: %2.</source>
        <translation>Die ursprünglichen Einstellungen von %1 können nicht wiederhergestellt werden: %2.</translation>
    </message>
    <message>
        <source>Put %1 back as it was before the program first saved changes into it? The key, tempo and mix saved since then are undone.</source>
        <translation>%1 so wiederherstellen, wie es war, bevor das Programm zum ersten Mal Änderungen darin gespeichert hat? Die seitdem gespeicherte Tonart, das Tempo und die Mischung werden rückgängig gemacht.</translation>
    </message>
    <message>
        <source>%1 was changed by another program since the program first saved changes into it. Only its original key, tempo and mix are put back; the music stays as it is now. Put them back?</source>
        <translation>%1 wurde von einem anderen Programm geändert, seit dieses Programm zum ersten Mal Änderungen darin gespeichert hat. Nur die ursprüngliche Tonart, das Tempo und die Mischung werden wiederhergestellt; die Musik bleibt, wie sie jetzt ist. Wiederherstellen?</translation>
    </message>
    <message>
        <source>%1 has no copy of its original settings: %2.</source>
        <translation>%1 hat keine Kopie seiner ursprünglichen Einstellungen: %2.</translation>
    </message>
</context>
<context>
    <name>libraryView</name>
    <message>
        <source>Repertoire</source>
        <translation>Repertoire</translation>
    </message>
    <message>
        <source>Browse PC</source>
        <translation>Durchsuchen</translation>
    </message>
    <message>
        <source>Songs</source>
        <translation>Songs</translation>
    </message>
    <message>
        <source>Search results for:</source>
        <translation>Suchergebnisse für:</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <source>Auto Play</source>
        <translation>Autoplay</translation>
    </message>
    <message>
        <source>Add Song</source>
        <translation>Song hinzufügen</translation>
    </message>
    <message>
        <source>Info</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>New Playlist</source>
        <translation>Neue Playlist</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>Importieren</translation>
    </message>
    <message>
        <source>Title</source>
        <translation>Titel</translation>
    </message>
    <message>
        <source>Artist</source>
        <translation>Künstler</translation>
    </message>
    <message>
        <source>Genre</source>
        <translation>Genre</translation>
    </message>
    <message>
        <source>Indexing...</source>
        <translation>Indizierung...</translation>
    </message>
    <message>
        <source>Search on Melodrome website</source>
        <translation>Auf der Melodrome-Website suchen</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Suchen</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Remove selected file or folder</source>
        <translation>Ausgewählte Datei oder Ordner entfernen</translation>
    </message>
    <message>
        <source>Del</source>
        <translation>Del</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>Typ</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Path</source>
        <translation>Pfad</translation>
    </message>
    <message>
        <source>Playlists</source>
        <translation>Playlists</translation>
    </message>
    <message>
        <source>Attention</source>
        <translation>Achtung</translation>
    </message>
    <message>
        <source>Do you want to exit &quot;edit playlist&quot; mode?</source>
        <translation>Möchten Sie den Modus „Playlist bearbeiten“ beenden?</translation>
    </message>
    <message>
        <source>News of the week</source>
        <translation>Neuheiten der Woche</translation>
    </message>
    <message>
        <source>Press &quot;Add Songs&quot; to select songs from your repertory and make the playlist</source>
        <translation>Klicken Sie auf „Song hinzufügen“, um Songs aus Ihrem Repertoire für die Playlist auszuwählen</translation>
    </message>
    <message>
        <source>Duration</source>
        <translation>Dauer</translation>
    </message>
    <message>
        <source>BPM</source>
        <translation>BPM</translation>
    </message>
    <message>
        <source>Key</source>
        <translation>Ton</translation>
    </message>
    <message>
        <source>Genres</source>
        <translation>Genres</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>Dateien</translation>
    </message>
    <message>
        <source>Cannot play file</source>
        <translation>Datei kann nicht abgespielt werden</translation>
    </message>
    <message>
        <source>Cannot play:
This file seems deleted</source>
        <translation>Wiedergabe nicht möglich:
Die Datei wurde offenbar gelöscht</translation>
    </message>
    <message>
        <source>Added</source>
        <translation>Hinzugefügt</translation>
    </message>
    <message>
        <source>&quot;%1&quot; cannot be deleted: it stays in the library.</source>
        <translation>„%1“ kann nicht gelöscht werden und bleibt in der Bibliothek.</translation>
    </message>
    <message>
        <source>Are you sure you want to remove selected songs from the playlist?</source>
        <translation>Möchten Sie die ausgewählten Songs wirklich aus der Playlist entfernen?</translation>
    </message>
    <message>
        <source>Are you sure you want to delete the selected artists and related songs?</source>
        <translation>Möchten Sie die ausgewählten Künstler und ihre Songs wirklich löschen?</translation>
    </message>
    <message>
        <source>Are you sure you want to delete selected genres and related songs?</source>
        <translation>Möchten Sie die ausgewählten Genres und ihre Songs wirklich löschen?</translation>
    </message>
    <message>
        <source>&quot;%1&quot; could not be deleted.</source>
        <translation>„%1“ konnte nicht gelöscht werden.</translation>
    </message>
    <message>
        <source>Title: %1
Artist: %2
Lenght: %3
BPM: %4
KEY: %5
Format: %6</source>
        <translation>Titel: %1
Künstler: %2
Dauer: %3
BPM: %4
Tonart: %5
Format: %6</translation>
    </message>
    <message>
        <source>Genre: %1 
Songs count: %2
</source>
        <translation>Genre: %1 
Anzahl der Songs: %2
</translation>
    </message>
    <message>
        <source>Artist: %1 
Songs count: %2
</source>
        <translation>Künstler: %1 
Anzahl der Songs: %2
</translation>
    </message>
    <message>
        <source>Detailed Info</source>
        <translation>Detailinformationen</translation>
    </message>
    <message>
        <source>End</source>
        <translation>Fertig</translation>
    </message>
    <message>
        <source>Double click on a row to add the song to the playlist, press &quot;End&quot; when finished</source>
        <translation>Doppelklicken Sie auf eine Zeile, um den Song zur Playlist hinzuzufügen, und klicken Sie zum Abschluss auf „Fertig“</translation>
    </message>
    <message>
        <source>Playlist name:</source>
        <translation>Name der Playlist:</translation>
    </message>
    <message>
        <source>Rename Playlist</source>
        <translation>Playlist umbenennen</translation>
    </message>
    <message>
        <source>Title: %1
Artist: %2
Length: %3
BPM: %4
KEY: %5
Format: %6
Genre: %7
Autors: %8
Bought? :%9</source>
        <translation>Titel: %1
Künstler: %2
Dauer: %3
BPM: %4
Tonart: %5
Format: %6
Genre: %7
Autoren: %8
Gekauft: %9</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Ja</translation>
    </message>
    <message>
        <source>No</source>
        <translation>Nein</translation>
    </message>
    <message>
        <source>&quot;%1&quot; could not be downloaded: %2. Check the internet connection and double-click the song to try again.</source>
        <translation>„%1“ konnte nicht heruntergeladen werden: %2. Prüfen Sie die Internetverbindung und doppelklicken Sie auf den Song, um es erneut zu versuchen.</translation>
    </message>
    <message>
        <source>The store&apos;s songs of this list cannot be shown: %1. Check the internet connection, go back and open it again.</source>
        <translation>Die Shop-Songs dieser Liste können nicht angezeigt werden: %1. Prüfen Sie die Internetverbindung, gehen Sie zurück und öffnen Sie sie erneut.</translation>
    </message>
    <message>
        <source>The store cannot be searched now: %1. Your own songs are shown; check the internet connection and search again.</source>
        <translation>Der Shop kann gerade nicht durchsucht werden: %1. Ihre eigenen Songs werden angezeigt; prüfen Sie die Internetverbindung und suchen Sie erneut.</translation>
    </message>
    <message>
        <source>The song&apos;s details cannot be shown: %1. Check the internet connection and press Info again.</source>
        <translation>Die Details des Songs können nicht angezeigt werden: %1. Prüfen Sie die Internetverbindung und klicken Sie erneut auf Info.</translation>
    </message>
    <message>
        <source>Show or hide the side list</source>
        <translation>Seitenliste ein- oder ausblenden</translation>
    </message>
    <message>
        <source>No drive is indexed yet: choose a drive in the list to search its songs.</source>
        <translation>Noch kein Laufwerk ist indiziert: Wählen Sie ein Laufwerk in der Liste, um seine Songs zu durchsuchen.</translation>
    </message>
    <message>
        <source>No song matches &quot;%1&quot; yet: %2 is still being indexed.</source>
        <translation>Noch kein Song passt zu &quot;%1&quot;: %2 wird noch indiziert.</translation>
    </message>
    <message>
        <source>No song on %1 matches &quot;%2&quot;.</source>
        <translation>Kein Song auf %1 passt zu &quot;%2&quot;.</translation>
    </message>
    <message>
        <source>Indexing %1... songs found: %2</source>
        <translation>Indiziere %1... gefundene Songs: %2</translation>
    </message>
    <message>
        <source>&quot;%1&quot; could not be downloaded: %2.</source>
        <translation>„%1“ konnte nicht heruntergeladen werden: %2.</translation>
    </message>
    <message>
        <source>Delete &quot;%1&quot; from the library? Its file in the library folder is deleted too.</source>
        <translation>„%1“ aus der Bibliothek löschen? Auch die Datei im Bibliotheksordner wird gelöscht.</translation>
    </message>
    <message>
        <source>Delete the %1 selected songs from the library? Their files in the library folder are deleted too.</source>
        <translation>Die %1 ausgewählten Songs aus der Bibliothek löschen? Auch ihre Dateien im Bibliotheksordner werden gelöscht.</translation>
    </message>
    <message>
        <source>Do you really want to delete the playlist &quot;%1&quot;?</source>
        <translation>Möchten Sie die Playlist „%1“ wirklich löschen?</translation>
    </message>
    <message>
        <source>The store cannot be searched now: %1. Your own songs are shown.</source>
        <translation>Der Shop kann gerade nicht durchsucht werden: %1. Ihre eigenen Songs werden angezeigt.</translation>
    </message>
    <message>
        <source>The store&apos;s songs of this list cannot be shown: %1.</source>
        <translation>Die Shop-Songs dieser Liste können nicht angezeigt werden: %1.</translation>
    </message>
    <message>
        <source>The song&apos;s details cannot be shown: %1.</source>
        <translation>Die Details des Songs können nicht angezeigt werden: %1.</translation>
    </message>
    <message>
        <source>The artist &quot;%1&quot; could not be deleted</source>
        <translation>Der Künstler „%1“ konnte nicht gelöscht werden</translation>
    </message>
    <message>
        <source>The genre &quot;%1&quot; could not be deleted</source>
        <translation>Das Genre „%1“ konnte nicht gelöscht werden</translation>
    </message>
    <message>
        <source>&quot;%1&quot; could not be deleted from the library</source>
        <translation>„%1“ konnte nicht aus der Bibliothek gelöscht werden</translation>
    </message>
    <message>
        <source>The songs could not be removed from the playlist &quot;%1&quot;</source>
        <translation>Die Songs konnten nicht aus der Playlist „%1“ entfernt werden</translation>
    </message>
    <message>
        <source>&quot;%1&quot; could not be added to the playlist &quot;%2&quot;</source>
        <translation>„%1“ konnte nicht zur Playlist „%2“ hinzugefügt werden</translation>
    </message>
    <message>
        <source>The playlist &quot;%1&quot; could not be made</source>
        <translation>Die Playlist „%1“ konnte nicht angelegt werden</translation>
    </message>
    <message>
        <source>The playlist &quot;%1&quot; could not be renamed</source>
        <translation>Die Playlist „%1“ konnte nicht umbenannt werden</translation>
    </message>
    <message>
        <source>The playlist &quot;%1&quot; could not be deleted</source>
        <translation>Die Playlist „%1“ konnte nicht gelöscht werden</translation>
    </message>
    <message>
        <source>The new order of the playlist &quot;%1&quot; could not be kept</source>
        <translation>Die neue Reihenfolge der Playlist „%1“ konnte nicht gespeichert werden</translation>
    </message>
    <message>
        <source>the library file is read-only</source>
        <translation>die Bibliotheksdatei ist schreibgeschützt</translation>
    </message>
    <message>
        <source>the disk is full</source>
        <translation>der Datenträger ist voll</translation>
    </message>
    <message>
        <source>the disk reported an error</source>
        <translation>der Datenträger hat einen Fehler gemeldet</translation>
    </message>
    <message>
        <source>the library file refused it (%1)</source>
        <translation>die Bibliotheksdatei hat sie abgelehnt (%1)</translation>
    </message>
    <message>
        <source>%1: %2. Nothing kept before is lost; changes are kept again once the library file can be written.</source>
        <translation>%1: %2. Nichts bisher Gespeichertes geht verloren; Änderungen werden wieder gespeichert, sobald die Bibliotheksdatei beschreibbar ist.</translation>
    </message>
    <message>
        <source>That &quot;%1&quot; was played could not be kept for the recent songs</source>
        <translation>Dass „%1“ gespielt wurde, konnte nicht für die zuletzt gespielten Songs gespeichert werden</translation>
    </message>
    <message>
        <source>No playlist yet: make one with &quot;New Playlist&quot;</source>
        <translation>Noch keine Playlist: Legen Sie eine mit „Neue Playlist“ an</translation>
    </message>
    <message>
        <source>The library file cannot be read now: %1. The list shows what it showed before.</source>
        <translation>Die Bibliotheksdatei kann gerade nicht gelesen werden: %1. Die Liste zeigt, was sie vorher zeigte.</translation>
    </message>
    <message>
        <source>The library file cannot be read now: %1. This list cannot be shown.</source>
        <translation>Die Bibliotheksdatei kann gerade nicht gelesen werden: %1. Diese Liste kann nicht angezeigt werden.</translation>
    </message>
    <message>
        <source>Songs added to the library: %1</source>
        <translation>Der Bibliothek hinzugefügte Songs: %1</translation>
    </message>
    <message>
        <source>&quot;%1&quot; was copied into the library folder but not registered</source>
        <translation>„%1“ wurde in den Bibliotheksordner kopiert, aber nicht eingetragen</translation>
    </message>
    <message>
        <source>the library is in use by another program</source>
        <translation>die Bibliothek wird von einem anderen Programm benutzt</translation>
    </message>
    <message>
        <source>The library is in use by another program: the list shows what it showed before, and is read again once the library is free.</source>
        <translation>Die Bibliothek wird von einem anderen Programm benutzt: Die Liste zeigt, was sie vorher zeigte, und wird neu gelesen, sobald die Bibliothek frei ist.</translation>
    </message>
    <message>
        <source>The library is in use by another program: this list is shown once the library is free.</source>
        <translation>Die Bibliothek wird von einem anderen Programm benutzt: Diese Liste wird gezeigt, sobald die Bibliothek frei ist.</translation>
    </message>
</context>
<context>
    <name>listItem</name>
    <message>
        <source>Title</source>
        <translation>Titel</translation>
    </message>
    <message>
        <source>Recent</source>
        <translation>Zuletzt gespielt</translation>
    </message>
    <message>
        <source>All Songs</source>
        <translation>Alle Songs</translation>
    </message>
    <message>
        <source>Downloaded</source>
        <translation>Heruntergeladen</translation>
    </message>
    <message>
        <source>news</source>
        <translation>Neues</translation>
    </message>
    <message>
        <source>Add the song to the playlist</source>
        <translation>Lied zur Playlist hinzufügen</translation>
    </message>
    <message>
        <source>Rename the playlist</source>
        <translation>Playlist umbenennen</translation>
    </message>
    <message>
        <source>Delete the playlist</source>
        <translation>Playlist löschen</translation>
    </message>
</context>
<context>
    <name>listItemDownloading</name>
    <message>
        <source>Title</source>
        <translation>Titel</translation>
    </message>
    <message>
        <source>Artist</source>
        <translation>Künstler</translation>
    </message>
    <message>
        <source>Format</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>Downloaded</source>
        <translation>Heruntergeladen</translation>
    </message>
</context>
<context>
    <name>listItemStore</name>
    <message>
        <source>Title</source>
        <translation>Titel</translation>
    </message>
    <message>
        <source>Artist</source>
        <translation>Künstler</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Herunterladen</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Velmar PC is already running.</source>
        <translation>Velmar PC läuft bereits.</translation>
    </message>
    <message>
        <source>Velmar PC is already running on this library, but it does not answer: it may be stopped or busy.</source>
        <translation>Velmar PC läuft bereits mit dieser Bibliothek, antwortet aber nicht: Es ist vielleicht angehalten oder beschäftigt.</translation>
    </message>
    <message>
        <source>Velmar PC is already running on this library, but it does not answer: it may be stopped or busy. %1 was not played.</source>
        <translation>Velmar PC läuft bereits mit dieser Bibliothek, antwortet aber nicht: Es ist vielleicht angehalten oder beschäftigt. %1 wurde nicht abgespielt.</translation>
    </message>
    <message>
        <source>Attention</source>
        <translation>Achtung</translation>
    </message>
</context>
<context>
    <name>mixerView</name>
    <message>
        <source>Form</source>
        <translation>Formular</translation>
    </message>
    <message>
        <source>DRUMS</source>
        <translation>SCHLAGZEUG</translation>
    </message>
    <message>
        <source>BASS</source>
        <translation>BASS</translation>
    </message>
    <message>
        <source>GUITAR</source>
        <translation>GITARRE</translation>
    </message>
    <message>
        <source>KEYBOARDS</source>
        <translation>TASTEN</translation>
    </message>
    <message>
        <source>ORCHESTRA</source>
        <translation>ORCHESTER</translation>
    </message>
    <message>
        <source>WINDS</source>
        <translation>BLÄSER</translation>
    </message>
    <message>
        <source>Play %1 alone</source>
        <translation>Nur %1 spielen</translation>
    </message>
    <message>
        <source>Mute %1</source>
        <translation>%1 stummschalten</translation>
    </message>
    <message>
        <source>%1 channels</source>
        <translation>Kanäle %1</translation>
    </message>
</context>
<context>
    <name>statusBarHead</name>
    <message>
        <source>Time</source>
        <translation>Zeit</translation>
    </message>
    <message>
        <source>Format</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>Bar</source>
        <translation>Takt</translation>
    </message>
    <message>
        <source>KEY</source>
        <translation>TON</translation>
    </message>
    <message>
        <source>No sound server</source>
        <translation>Kein Soundserver</translation>
    </message>
    <message>
        <source>The sound server is gone: the song waits, paused, until it is back</source>
        <translation>Der Soundserver ist weg: das Lied wartet pausiert, bis er zurück ist</translation>
    </message>
    <message>
        <source>%1 is not connected: the sound goes to the default output</source>
        <translation>%1 ist nicht verbunden: der Ton geht an die Standardausgabe</translation>
    </message>
</context>
<context>
    <name>storeView</name>
    <message>
        <source>Store</source>
        <translation>Shop</translation>
    </message>
    <message>
        <source>User Account</source>
        <translation>Benutzerkonto</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Suchen</translation>
    </message>
    <message>
        <source>Player</source>
        <translation>Player</translation>
    </message>
    <message>
        <source>Melodrome</source>
        <translation>Melodrome</translation>
    </message>
    <message>
        <source>Thousands of backing tracks in archive, search your favorite</source>
        <translation>Tausende Begleitspuren im Archiv – suchen Sie Ihren Favoriten</translation>
    </message>
    <message>
        <source>News</source>
        <translation>Neuheiten</translation>
    </message>
    <message>
        <source>Account</source>
        <translation>Konto</translation>
    </message>
    <message>
        <source>Downloads</source>
        <translation>Downloads</translation>
    </message>
    <message>
        <source>New MIDI Karaoke backing tracks</source>
        <translation>Neue MIDI-Karaoke-Begleitspuren</translation>
    </message>
    <message>
        <source>Midi</source>
        <translation>Midi</translation>
    </message>
    <message>
        <source>MP3</source>
        <translation>MP3</translation>
    </message>
    <message>
        <source>E-Mail</source>
        <translation>E-Mail</translation>
    </message>
    <message>
        <source>User</source>
        <translation>Benutzer</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>Geräte-ID</translation>
    </message>
    <message>
        <source>Logout</source>
        <translation>Abmelden</translation>
    </message>
</context>
<context>
    <name>volumePopup</name>
    <message>
        <source>Form</source>
        <translation>Formular</translation>
    </message>
</context>
</TS>
