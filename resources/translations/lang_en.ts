<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>AccountView</name>
    <message>
        <source>Account</source>
        <translation>Account</translation>
    </message>
    <message>
        <source>To use Velmar PC you must log in with your Melodrome account</source>
        <translation>To use Velmar PC you must log in with your Melodrome account</translation>
    </message>
    <message>
        <source>E-Mail</source>
        <translation>E-Mail</translation>
    </message>
    <message>
        <source>Insert email</source>
        <translation>Enter your e-mail</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>Insert Password</source>
        <translation>Enter your password</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>Dev ID</translation>
    </message>
    <message>
        <source>SongNet Credit</source>
        <translation>SongNet Credit</translation>
    </message>
    <message>
        <source>Login</source>
        <translation>Log in</translation>
    </message>
    <message>
        <source>Don&apos;t you have a Melodrome account? Click here to create a new one</source>
        <translation>Don&apos;t have a Melodrome account? Click here to create one</translation>
    </message>
    <message>
        <source>Did you forget your password? Click here to recover it</source>
        <translation>Forgot your password? Click here to recover it</translation>
    </message>
    <message>
        <source>User</source>
        <translation>User</translation>
    </message>
    <message>
        <source>Logout</source>
        <translation>Log out</translation>
    </message>
    <message>
        <source>Logging in…</source>
        <translation>Logging in…</translation>
    </message>
    <message>
        <source>You are not logged in: %1.
Check the internet connection and press Login again.</source>
        <translation>You are not logged in: %1.
Check the internet connection and press Log in again.</translation>
    </message>
    <message>
        <source>You are not logged in: %1.</source>
        <translation>You are not logged in: %1.</translation>
    </message>
    <message>
        <source>Wrong e-mail or password</source>
        <translation>Wrong e-mail or password</translation>
    </message>
</context>
<context>
    <name>ControlTrackSmall</name>
    <message>
        <source>Form</source>
        <translation>Form</translation>
    </message>
    <message>
        <source>Ch. %1 -</source>
        <translation>Ch. %1 -</translation>
    </message>
    <message>
        <source>Play this channel</source>
        <translation>Play this channel</translation>
    </message>
    <message>
        <source>Mute this channel</source>
        <translation>Mute this channel</translation>
    </message>
    <message>
        <source>Play this channel alone</source>
        <translation>Play this channel alone</translation>
    </message>
    <message>
        <source>Undo this channel&apos;s changes</source>
        <translation>Undo this channel&apos;s changes</translation>
    </message>
</context>
<context>
    <name>DialogCopyFiles</name>
    <message>
        <source>Import files</source>
        <translation>Import files</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Copying %1 files</source>
        <translation>Copying %1 files</translation>
    </message>
    <message>
        <source>Copying %1 of </source>
        <translation>Copying %1 of </translation>
    </message>
</context>
<context>
    <name>DownloadMngr</name>
    <message>
        <source>This file already exists</source>
        <translation>This file already exists</translation>
    </message>
    <message>
        <source>This file is already present, overwrite?</source>
        <translation>This file is already present. Overwrite it?</translation>
    </message>
    <message>
        <source>the server announced no file size</source>
        <translation>the server announced no file size</translation>
    </message>
    <message>
        <source>the disk is full or cannot be written</source>
        <translation>the disk is full or cannot be written</translation>
    </message>
    <message>
        <source>%1 of %2 bytes arrived</source>
        <translation>%1 of %2 bytes arrived</translation>
    </message>
    <message>
        <source>the server named no web address for the file</source>
        <translation>the server named no web address for the file</translation>
    </message>
    <message>
        <source>the disk of %1 is full</source>
        <translation>the disk of %1 is full</translation>
    </message>
    <message>
        <source>the folder %1 is read-only</source>
        <translation>the folder %1 is read-only</translation>
    </message>
    <message>
        <source>the song&apos;s name is too long for the folder %1</source>
        <translation>the song&apos;s name is too long for the folder %1</translation>
    </message>
    <message>
        <source>the file cannot be written in %1 (%2)</source>
        <translation>the file cannot be written in %1 (%2)</translation>
    </message>
</context>
<context>
    <name>InstrChooserPopup</name>
    <message>
        <source>Form</source>
        <translation>Form</translation>
    </message>
    <message>
        <source>Piano</source>
        <translation>Piano</translation>
    </message>
    <message>
        <source>Chromatic Percussion</source>
        <translation>Chromatic Percussion</translation>
    </message>
    <message>
        <source>Organ</source>
        <translation>Organ</translation>
    </message>
    <message>
        <source>Guitar</source>
        <translation>Guitar</translation>
    </message>
    <message>
        <source>Bass</source>
        <translation>Bass</translation>
    </message>
    <message>
        <source>Strings</source>
        <translation>Strings</translation>
    </message>
    <message>
        <source>Ensemble</source>
        <translation>Ensemble</translation>
    </message>
    <message>
        <source>Brass</source>
        <translation>Brass</translation>
    </message>
    <message>
        <source>Reed</source>
        <translation>Reed</translation>
    </message>
    <message>
        <source>Pipe</source>
        <translation>Pipe</translation>
    </message>
    <message>
        <source>Synth Lead</source>
        <translation>Synth Lead</translation>
    </message>
    <message>
        <source>Synth Pad</source>
        <translation>Synth Pad</translation>
    </message>
    <message>
        <source>Synth Effects</source>
        <translation>Synth Effects</translation>
    </message>
    <message>
        <source>Ethnic</source>
        <translation>Ethnic</translation>
    </message>
    <message>
        <source>Percussive</source>
        <translation>Percussive</translation>
    </message>
    <message>
        <source>Sound Effects</source>
        <translation>Sound Effects</translation>
    </message>
</context>
<context>
    <name>KaraokeTextWidget</name>
    <message>
        <source>New Karaoke window</source>
        <translation>New Karaoke window</translation>
    </message>
    <message>
        <source>Unpin Karaoke window</source>
        <translation>Unpin Karaoke Window</translation>
    </message>
    <message>
        <source>Fullscreen Karaoke window</source>
        <translation>Fullscreen Karaoke window</translation>
    </message>
    <message>
        <source>Reduce screen</source>
        <translation>Reduce screen</translation>
    </message>
    <message>
        <source>Full screen</source>
        <translation>Full screen</translation>
    </message>
</context>
<context>
    <name>LyricsModel</name>
    <message>
        <source>Text NOT found</source>
        <translation>Text NOT found</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Loading...</source>
        <translation>Loading...</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>Volume</translation>
    </message>
    <message>
        <source>Melody CH</source>
        <translation>Melody CH</translation>
    </message>
    <message>
        <source>Melody Mute</source>
        <translation>Melody Mute</translation>
    </message>
    <message>
        <source>Fullscreen Window</source>
        <translation>Fullscreen window</translation>
    </message>
    <message>
        <source>Unpin Window</source>
        <translation>Unpin window</translation>
    </message>
    <message>
        <source>Karaoke</source>
        <translation>Karaoke</translation>
    </message>
    <message>
        <source>Library</source>
        <translation>Library</translation>
    </message>
    <message>
        <source>Editing</source>
        <translation>Editing</translation>
    </message>
    <message>
        <source>Mixer</source>
        <translation>Mixer</translation>
    </message>
    <message>
        <source>Chords</source>
        <translation>Chords</translation>
    </message>
    <message>
        <source>Report an Error</source>
        <translation>Report an Error</translation>
    </message>
    <message>
        <source>File</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>Attention</source>
        <translation>Attention</translation>
    </message>
    <message>
        <source>Melody ON</source>
        <translation>Melody ON</translation>
    </message>
    <message>
        <source>Melody OFF</source>
        <translation>Melody OFF</translation>
    </message>
    <message>
        <source>Melody SEMI</source>
        <translation>Melody SEMI</translation>
    </message>
    <message>
        <source>Errored</source>
        <translation>Import errors</translation>
    </message>
    <message>
        <source>These files cannot be copied because they do not seem to be song files:</source>
        <translation>These files cannot be copied because they do not seem to be song files:</translation>
    </message>
    <message>
        <source>Duplicated Entries</source>
        <translation>Duplicate Entries</translation>
    </message>
    <message>
        <source>These songs cannot be copied because they&apos;re already present:</source>
        <translation>These songs cannot be copied because they&apos;re already present:</translation>
    </message>
    <message>
        <source>All songs files</source>
        <translation>All song files</translation>
    </message>
    <message>
        <source>MIDI files</source>
        <translation>MIDI files</translation>
    </message>
    <message>
        <source>MP3 files</source>
        <translation>MP3 files</translation>
    </message>
    <message>
        <source>Fast Run</source>
        <translation>Fast Run</translation>
    </message>
    <message>
        <source>Fast run: %1</source>
        <translation>Fast run: %1</translation>
    </message>
    <message>
        <source>Update available</source>
        <translation>Update available</translation>
    </message>
    <message>
        <source>An update is available, do you want to download it?</source>
        <translation>An update is available. Do you want to download it?</translation>
    </message>
    <message>
        <source>Downloading the update</source>
        <translation>Downloading the update</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>The downloaded update is damaged and was not installed.</source>
        <translation>The downloaded update is damaged and was not installed.</translation>
    </message>
    <message>
        <source>The update has been downloaded to:
%1
Close the program and install it from there.</source>
        <translation>The update has been downloaded to:
%1
Close the program and install it from there.</translation>
    </message>
    <message>
        <source>An updated version of Timbra is available. Do you want to download it now?</source>
        <translation>An updated version of Timbra is available. Do you want to download it now?</translation>
    </message>
    <message>
        <source>The update could not be downloaded: %1.
Check the internet connection; the update is offered again at the next start of the program.</source>
        <translation>The update could not be downloaded: %1.
Check the internet connection; the update is offered again at the next start of the program.</translation>
    </message>
    <message>
        <source>Changes not saved</source>
        <translation>Changes not saved</translation>
    </message>
    <message>
        <source>These files are too large to be songs:</source>
        <translation>These files are too large to be songs:</translation>
    </message>
    <message>
        <source>These songs could not be copied:</source>
        <translation>These songs could not be copied:</translation>
    </message>
    <message>
        <source>The news of the week could not be fetched: %1.
Check the internet connection; the news are fetched again at the next start.</source>
        <translation>The news of the week could not be fetched: %1.
Check the internet connection; the news are fetched again at the next start.</translation>
    </message>
    <message>
        <source>Sound bank</source>
        <translation>Sound bank</translation>
    </message>
    <message>
        <source>The sound bank of the software synthesizer is missing or cannot be read:
%1
MIDI songs make no sound without it. Download it now?</source>
        <translation>The sound bank of the software synthesizer is missing or cannot be read:
%1
MIDI songs make no sound without it. Download it now?</translation>
    </message>
    <message>
        <source>Try Again</source>
        <translation>Try Again</translation>
    </message>
    <message>
        <source>Quit Without Saving</source>
        <translation>Quit Without Saving</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Go to a point of the song</source>
        <translation>Go to a point of the song</translation>
    </message>
    <message>
        <source>Account</source>
        <translation>Account</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>Folder</translation>
    </message>
    <message>
        <source>No web browser could be opened. The page to report an error is:
%1</source>
        <translation>No web browser could be opened. The page to report an error is:
%1</translation>
    </message>
    <message>
        <source>The news of the week could not be fetched: %1.
The news are fetched again at the next start.</source>
        <translation>The news of the week could not be fetched: %1.
The news are fetched again at the next start.</translation>
    </message>
    <message>
        <source>The update could not be downloaded: %1.
The update is offered again at the next start of the program.</source>
        <translation>The update could not be downloaded: %1.
The update is offered again at the next start of the program.</translation>
    </message>
</context>
<context>
    <name>MelodromeManager</name>
    <message>
        <source>Not logged in</source>
        <translation>Not logged in</translation>
    </message>
    <message>
        <source>You&apos;re not logged in, please login then retry</source>
        <translation>You&apos;re not logged in. Please log in and try again.</translation>
    </message>
    <message>
        <source>Download in progress</source>
        <translation>Download in progress</translation>
    </message>
    <message>
        <source>Another song is being downloaded, please retry when it has finished</source>
        <translation>Another song is being downloaded. Please try again when it has finished.</translation>
    </message>
    <message>
        <source>the store gave no address for the song</source>
        <translation>the store gave no address for the song</translation>
    </message>
    <message>
        <source>the file that arrived is no song the program can read</source>
        <translation>the file that arrived is no song the program can read</translation>
    </message>
    <message>
        <source>the library is in use by another program, so the song was not kept</source>
        <translation>the library is in use by another program, so the song was not kept</translation>
    </message>
    <message>
        <source>the library file did not keep the song</source>
        <translation>the library file did not keep the song</translation>
    </message>
</context>
<context>
    <name>MelodyChannelPopup</name>
    <message>
        <source>Form</source>
        <translation>Form</translation>
    </message>
    <message>
        <source>Select Melody Channel</source>
        <translation>Select Melody Channel</translation>
    </message>
    <message>
        <source>Track %1</source>
        <translation>Track %1</translation>
    </message>
</context>
<context>
    <name>Mp3RW</name>
    <message>
        <source>its ID3 tag (version 2.2, unsynchronised or with a checksum) cannot be rewritten without damaging it</source>
        <translation>its ID3 tag (version 2.2, unsynchronised or with a checksum) cannot be rewritten without damaging it</translation>
    </message>
</context>
<context>
    <name>NewWidgetWindow</name>
    <message>
        <source>Chords</source>
        <translation>Chords</translation>
    </message>
    <message>
        <source>Mixer</source>
        <translation>Mixer</translation>
    </message>
    <message>
        <source>Editing</source>
        <translation>Editing</translation>
    </message>
    <message>
        <source>Library</source>
        <translation>Library</translation>
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
        <translation>the server did not answer in time</translation>
    </message>
    <message>
        <source>the server answered with error %1</source>
        <translation>the server answered with error %1</translation>
    </message>
    <message>
        <source>the server cannot be reached</source>
        <translation>the server cannot be reached</translation>
    </message>
    <message>
        <source>the connection broke off</source>
        <translation>the connection broke off</translation>
    </message>
    <message>
        <source>the server sent an empty answer</source>
        <translation>the server sent an empty answer</translation>
    </message>
    <message>
        <source>the answer arrived incomplete</source>
        <translation>the answer arrived incomplete</translation>
    </message>
    <message>
        <source>the server&apos;s answer was too large</source>
        <translation>the server&apos;s answer was too large</translation>
    </message>
    <message>
        <source>the server sent the request on to another site (%1), where the program sends nothing</source>
        <translation>the server sent the request on to another site (%1), where the program sends nothing</translation>
    </message>
    <message>
        <source>no secure connection could be made with the server</source>
        <translation>no secure connection could be made with the server</translation>
    </message>
    <message>
        <source>the network refused the request (error %1)</source>
        <translation>the network refused the request (error %1)</translation>
    </message>
    <message>
        <source>the server closed the connection without answering as a web server does</source>
        <translation>the server closed the connection without answering as a web server does</translation>
    </message>
    <message>
        <source>the store is busy; try again in a few minutes</source>
        <translation>the store is busy; try again in a few minutes</translation>
    </message>
    <message>
        <source>the store is busy; try again in a moment</source>
        <translation>the store is busy; try again in a moment</translation>
    </message>
    <message>
        <source>the store is busy; try again in %1 seconds</source>
        <translation>the store is busy; try again in %1 seconds</translation>
    </message>
    <message>
        <source>the store is busy; try again in %1 minutes</source>
        <translation>the store is busy; try again in %1 minutes</translation>
    </message>
    <message>
        <source>the store is busy; try again in %1 hours</source>
        <translation>the store is busy; try again in %1 hours</translation>
    </message>
</context>
<context>
    <name>SafeSave</name>
    <message>
        <source>the song file is read-only</source>
        <translation>the song file is read-only</translation>
    </message>
    <message>
        <source>the song&apos;s folder is read-only</source>
        <translation>the song&apos;s folder is read-only</translation>
    </message>
    <message>
        <source>%1 is a link</source>
        <translation>%1 is a link</translation>
    </message>
    <message>
        <source>%1 is not a file</source>
        <translation>%1 is not a file</translation>
    </message>
    <message>
        <source>%1 was made by a user who may not write the song</source>
        <translation>%1 was made by a user who may not write the song</translation>
    </message>
    <message>
        <source>%1 is larger than a song may be</source>
        <translation>%1 is larger than a song may be</translation>
    </message>
    <message>
        <source>%1, and is left alone</source>
        <translation>%1, and is left alone</translation>
    </message>
    <message>
        <source>A save of %1 was cut off, and another file was put in its place since: it is not written over, and what %1 held before that save is kept in %2.</source>
        <translation>A save of %1 was cut off, and another file was put in its place since: it is not written over, and what %1 held before that save is kept in %2.</translation>
    </message>
    <message>
        <source>being saved by another user; try again</source>
        <translation>being saved by another user; try again</translation>
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
        <translation>Bar: %1.1</translation>
    </message>
</context>
<context>
    <name>SettingsView</name>
    <message>
        <source>Options</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>&lt;b&gt;Options&lt;/b&gt;</source>
        <translation>&lt;b&gt;Options&lt;/b&gt;</translation>
    </message>
    <message>
        <source>Application</source>
        <translation>Application</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>Double-click action</source>
        <translation>Double-click action</translation>
    </message>
    <message>
        <source>Devices</source>
        <translation>Devices</translation>
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
        <translation>MIDI Settings</translation>
    </message>
    <message>
        <source>Chord</source>
        <translation>Chords</translation>
    </message>
    <message>
        <source>Fast Run</source>
        <translation>Fast Run</translation>
    </message>
    <message>
        <source>Karaoke</source>
        <translation>Karaoke</translation>
    </message>
    <message>
        <source>Text Font</source>
        <translation>Text Font</translation>
    </message>
    <message>
        <source>Text Size</source>
        <translation>Text Size</translation>
    </message>
    <message>
        <source>Text Alignment</source>
        <translation>Text Align</translation>
    </message>
    <message>
        <source>Background image</source>
        <translation>Background Image</translation>
    </message>
    <message>
        <source>&lt;none&gt;</source>
        <translation>&lt;none&gt;</translation>
    </message>
    <message>
        <source>Background color</source>
        <translation>Background Color</translation>
    </message>
    <message>
        <source>Lyrics</source>
        <translation>Lyrics</translation>
    </message>
    <message>
        <source>Lyrics Highlight</source>
        <translation>Lyrics Highlight</translation>
    </message>
    <message>
        <source>Playback</source>
        <translation>Playback</translation>
    </message>
    <message>
        <source>Key</source>
        <translation>Key</translation>
    </message>
    <message>
        <source>Tempo</source>
        <translation>Tempo</translation>
    </message>
    <message>
        <source>Lyrics time offset</source>
        <translation>Lyrics time offset</translation>
    </message>
    <message>
        <source>Restore Original Layout</source>
        <translation>Restore Windows Layout</translation>
    </message>
    <message>
        <source>Rebuild Database</source>
        <translation>Rebuild Database</translation>
    </message>
    <message>
        <source>About Qt</source>
        <translation>About Qt</translation>
    </message>
    <message>
        <source>Italian</source>
        <translation>Italian</translation>
    </message>
    <message>
        <source>International</source>
        <translation>International</translation>
    </message>
    <message>
        <source>Small</source>
        <translation>Small</translation>
    </message>
    <message>
        <source>Medium</source>
        <translation>Medium</translation>
    </message>
    <message>
        <source>Large</source>
        <translation>Large</translation>
    </message>
    <message>
        <source>Center</source>
        <translation>Center</translation>
    </message>
    <message>
        <source>Left</source>
        <translation>Left</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>ATTENTION: Perform this operation only in case of malfunctions.</source>
        <translation>ATTENTION: Perform this operation only in case of malfunctions.</translation>
    </message>
    <message>
        <source>Do you want to proceed?</source>
        <translation>Do you want to proceed?</translation>
    </message>
    <message>
        <source>Attention</source>
        <translation>Attention</translation>
    </message>
    <message>
        <source>Open Image</source>
        <translation>Open Image</translation>
    </message>
    <message>
        <source>Image Files (*.png *.jpg *.bmp)</source>
        <translation>Image Files (*.png *.jpg *.bmp)</translation>
    </message>
    <message>
        <source>Cannot connect to the MIDI Device</source>
        <translation>Cannot connect to the MIDI device</translation>
    </message>
    <message>
        <source>It may be in use from another software, close the software and connect the device from the Options menu</source>
        <translation>It may be in use by another program. Close that program and connect the device from the Options menu.</translation>
    </message>
    <message>
        <source>No audio device</source>
        <translation>No audio device</translation>
    </message>
    <message>
        <source>It seems you&apos;ve no audio device in your PC, please plug a device and retry</source>
        <translation>It seems there is no audio device in your PC. Please plug one in and try again.</translation>
    </message>
    <message>
        <source>Cannot connect to the audio device</source>
        <translation>Cannot connect to the audio device</translation>
    </message>
    <message>
        <source>Cannot disconnect the device while playing</source>
        <translation>Cannot disconnect the device while playing</translation>
    </message>
    <message>
        <source>Please select the device</source>
        <translation>Please select the device</translation>
    </message>
    <message>
        <source>Cannot connect to the audio Device</source>
        <translation>Cannot connect to the audio device</translation>
    </message>
    <message>
        <source>No real-time priority: the music keeps time with a little more delay</source>
        <translation>No real-time priority: the music keeps time with a little more delay</translation>
    </message>
    <message>
        <source>Real-time priority: granted</source>
        <translation>Real-time priority: granted</translation>
    </message>
    <message>
        <source>The audio device %1 is not connected: the sound goes to %2.</source>
        <translation>The audio device %1 is not connected: the sound goes to %2.</translation>
    </message>
    <message>
        <source>The sound bank of the software synthesizer is missing or cannot be read: %1</source>
        <translation>The sound bank of the software synthesizer is missing or cannot be read: %1</translation>
    </message>
    <message>
        <source>The MIDI output %1 could not be opened: MIDI songs play on %2.</source>
        <translation>The MIDI output %1 could not be opened: MIDI songs play on %2.</translation>
    </message>
    <message>
        <source>MIDI songs play on %1.</source>
        <translation>MIDI songs play on %1.</translation>
    </message>
    <message>
        <source>The audio device %1 could not be opened: the sound goes to %2.</source>
        <translation>The audio device %1 could not be opened: the sound goes to %2.</translation>
    </message>
    <message>
        <source>sequencer</source>
        <translation>sequencer</translation>
    </message>
    <message>
        <source>synthesizer audio</source>
        <translation>synthesizer audio</translation>
    </message>
    <message>
        <source>song player audio</source>
        <translation>song player audio</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>real-time priority</source>
        <translation>real-time priority</translation>
    </message>
    <message>
        <source>normal priority</source>
        <translation>normal priority</translation>
    </message>
    <message>
        <source>Press Stop to change the outputs.</source>
        <translation>Press Stop to change the outputs.</translation>
    </message>
    <message>
        <source>No sound server: the outputs chosen are used once it is back.</source>
        <translation>No sound server: the outputs chosen are used once it is back.</translation>
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
        <translation>the program does not edit this kind of file</translation>
    </message>
    <message>
        <source>its backup cannot be read: %1</source>
        <translation>its backup cannot be read: %1</translation>
    </message>
    <message>
        <source>there is no backup of the song</source>
        <translation>there is no backup of the song</translation>
    </message>
    <message>
        <source>its backup could not be made: %1</source>
        <translation>its backup could not be made: %1</translation>
    </message>
    <message>
        <source>its backup is damaged: its MIDI data cannot be read</source>
        <translation>its backup is damaged: its MIDI data cannot be read</translation>
    </message>
</context>
<context>
    <name>SongTexts</name>
    <message>
        <source>&lt;UNKNOWN&gt;</source>
        <translation>&lt;UNKNOWN&gt;</translation>
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
        <translation>Turn your PC or Mac into a MIDI generator with professional sounds</translation>
    </message>
    <message>
        <source>In combination with Velmar PC you can play MIDI files with the highest audio quality</source>
        <translation>In combination with Velmar PC you can play MIDI files with the highest audio quality</translation>
    </message>
    <message>
        <source>Over 180 sounds and 18 drum kits are at your disposal</source>
        <translation>Over 180 sounds and 18 drum kits are at your disposal</translation>
    </message>
    <message>
        <source>Download in progress...</source>
        <translation>Download in progress...</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Attention</source>
        <translation>Attention</translation>
    </message>
</context>
<context>
    <name>SoundfontManager</name>
    <message>
        <source>Attention</source>
        <translation>Attention</translation>
    </message>
    <message>
        <source>Timbra cannot be downloaded now, please try again later</source>
        <translation>Timbra cannot be downloaded now, please try again later</translation>
    </message>
    <message>
        <source>Timbra needs to be downloaded. Do you want to proceed now?</source>
        <translation>Timbra needs to be downloaded. Do you want to proceed now?</translation>
    </message>
    <message>
        <source>Downloading Timbra...</source>
        <translation>Downloading Timbra...</translation>
    </message>
    <message>
        <source>Are you sure you want to stop the Timbra download?</source>
        <translation>Are you sure you want to stop the Timbra download?</translation>
    </message>
    <message>
        <source>Sound bank</source>
        <translation>Sound bank</translation>
    </message>
    <message>
        <source>The new sound bank could not be installed: %1.
The previous sound bank stays in use. Check the internet connection and try again later.</source>
        <translation>The new sound bank could not be installed: %1.
The previous sound bank stays in use. Check the internet connection and try again later.</translation>
    </message>
    <message>
        <source>The sound bank could not be installed: %1.
The synthesizer stays silent without it. Check the internet connection and start the program again to retry.</source>
        <translation>The sound bank could not be installed: %1.
The synthesizer stays silent without it. Check the internet connection and start the program again to retry.</translation>
    </message>
    <message>
        <source>the downloaded file cannot be read</source>
        <translation>the downloaded file cannot be read</translation>
    </message>
    <message>
        <source>%1 of %2 bytes arrived</source>
        <translation>%1 of %2 bytes arrived</translation>
    </message>
    <message>
        <source>the file is no sound bank</source>
        <translation>the file is no sound bank</translation>
    </message>
    <message>
        <source>the file cannot be written in %1</source>
        <translation>the file cannot be written in %1</translation>
    </message>
    <message>
        <source>the file that arrived is not the one the server announced</source>
        <translation>the file that arrived is not the one the server announced</translation>
    </message>
    <message>
        <source>The new sound bank could not be installed: %1.
The previous sound bank stays in use.</source>
        <translation>The new sound bank could not be installed: %1.
The previous sound bank stays in use.</translation>
    </message>
    <message>
        <source>The sound bank could not be installed: %1.
The synthesizer stays silent without it; start the program again to retry.</source>
        <translation>The sound bank could not be installed: %1.
The synthesizer stays silent without it; start the program again to retry.</translation>
    </message>
</context>
<context>
    <name>StartedSong</name>
    <message>
        <source>Cannot play this file</source>
        <translation>Cannot play this file</translation>
    </message>
    <message>
        <source>no such file</source>
        <translation>no such file</translation>
    </message>
    <message>
        <source>not a file: a folder, a device or a pipe</source>
        <translation>not a file: a folder, a device or a pipe</translation>
    </message>
    <message>
        <source>cannot be read: %1</source>
        <translation>cannot be read: %1</translation>
    </message>
    <message>
        <source>the file is empty</source>
        <translation>the file is empty</translation>
    </message>
    <message>
        <source>too large for a song: %1, at most %2</source>
        <translation>too large for a song: %1, at most %2</translation>
    </message>
    <message>
        <source>not a song file the program plays</source>
        <translation>not a song file the program plays</translation>
    </message>
    <message>
        <source>its MIDI data cannot be read</source>
        <translation>its MIDI data cannot be read</translation>
    </message>
    <message>
        <source>too large to play: its notes and other events take more than %1 once read</source>
        <translation>too large to play: its notes and other events take more than %1 once read</translation>
    </message>
    <message>
        <source>too long to play: more than %1 bars</source>
        <translation>too long to play: more than %1 bars</translation>
    </message>
    <message>
        <source>too many lyric rows to show: more than %1</source>
        <translation>too many lyric rows to show: more than %1</translation>
    </message>
    <message>
        <source>too many lyric syllables to show: more than %1</source>
        <translation>too many lyric syllables to show: more than %1</translation>
    </message>
    <message>
        <source>too many chords to show: more than %1</source>
        <translation>too many chords to show: more than %1</translation>
    </message>
    <message>
        <source>its timing (a division of 0, or frames of film or video) is not one the program plays</source>
        <translation>its timing (a division of 0, or frames of film or video) is not one the program plays</translation>
    </message>
    <message>
        <source>no audio the program can decode</source>
        <translation>no audio the program can decode</translation>
    </message>
    <message>
        <source>the player could not load it</source>
        <translation>the player could not load it</translation>
    </message>
    <message>
        <source>The changes to %1 were not kept: %2.</source>
        <translation>The changes to %1 were not kept: %2.</translation>
    </message>
    <message>
        <source>The changes to %1 are heard but will not be kept: %2.</source>
        <translation>The changes to %1 are heard but will not be kept: %2.</translation>
    </message>
    <message>
        <source>The changes to %1 could not be written yet: %2. They are kept and will be written again at the next stop or when the program quits.</source>
        <translation>The changes to %1 could not be written yet: %2. They are kept and will be written again at the next stop or when the program quits.</translation>
    </message>
    <message>
        <source>The changes to %1 could not be written: %2.</source>
        <translation>The changes to %1 could not be written: %2.</translation>
    </message>
    <message>
        <source>another song was put in its place before they were written</source>
        <translation>another song was put in its place before they were written</translation>
    </message>
    <message>
        <source>being saved by another user; try again</source>
        <translation>being saved by another user; try again</translation>
    </message>
</context>
<context>
    <name>StoreAnswer</name>
    <message>
        <source>a web page came instead of the store&apos;s answer (the network may want you to sign in through a web browser first, or the store is under maintenance)</source>
        <translation>a web page came instead of the store&apos;s answer (the network may want you to sign in through a web browser first, or the store is under maintenance)</translation>
    </message>
    <message>
        <source>the store&apos;s answer cannot be read</source>
        <translation>the store&apos;s answer cannot be read</translation>
    </message>
</context>
<context>
    <name>TitleBarWindow</name>
    <message>
        <source>Form</source>
        <translation>Form</translation>
    </message>
    <message>
        <source>Pin the window</source>
        <translation>Pin the window</translation>
    </message>
    <message>
        <source>Reduce to icon</source>
        <translation>Minimize</translation>
    </message>
    <message>
        <source>Fullscreen window</source>
        <translation>Fullscreen window</translation>
    </message>
    <message>
        <source>Close the window</source>
        <translation>Close the window</translation>
    </message>
    <message>
        <source>Reduce Window</source>
        <translation>Reduce window</translation>
    </message>
</context>
<context>
    <name>chordsView</name>
    <message>
        <source>Form</source>
        <translation>Form</translation>
    </message>
    <message>
        <source>Piano</source>
        <translation>Piano</translation>
    </message>
    <message>
        <source>Guitar</source>
        <translation>Guitar</translation>
    </message>
    <message>
        <source>Text</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>There are no chords in this backing track</source>
        <translation>There are no chords in this backing track</translation>
    </message>
</context>
<context>
    <name>editView</name>
    <message>
        <source>Form</source>
        <translation>Form</translation>
    </message>
    <message>
        <source>Undo every change made to this song since it started</source>
        <translation>Undo every change made to this song since it started</translation>
    </message>
    <message>
        <source>Restore the song&apos;s original settings</source>
        <translation>Restore the song&apos;s original settings</translation>
    </message>
    <message>
        <source>Key down a semitone</source>
        <translation>Key down a semitone</translation>
    </message>
    <message>
        <source>Key up a semitone</source>
        <translation>Key up a semitone</translation>
    </message>
    <message>
        <source>Slower</source>
        <translation>Slower</translation>
    </message>
    <message>
        <source>Faster</source>
        <translation>Faster</translation>
    </message>
    <message>
        <source>Restore the original settings</source>
        <translation>Restore the original settings</translation>
    </message>
    <message>
        <source>%1 has no copy of its original settings: the program has not saved changes into it.</source>
        <translation>%1 has no copy of its original settings: the program has not saved changes into it.</translation>
    </message>
    <message>
        <source>The original settings of %1 cannot be put back: %2.</source>
        <translation>The original settings of %1 cannot be put back: %2.</translation>
    </message>
    <message>
        <source>Put %1 back as it was before the program first saved changes into it? The key, tempo and mix saved since then are undone.</source>
        <translation>Put %1 back as it was before the program first saved changes into it? The key, tempo and mix saved since then are undone.</translation>
    </message>
    <message>
        <source>%1 was changed by another program since the program first saved changes into it. Only its original key, tempo and mix are put back; the music stays as it is now. Put them back?</source>
        <translation>%1 was changed by another program since the program first saved changes into it. Only its original key, tempo and mix are put back; the music stays as it is now. Put them back?</translation>
    </message>
    <message>
        <source>%1 has no copy of its original settings: %2.</source>
        <translation>%1 has no copy of its original settings: %2.</translation>
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
        <translation>Browse PC</translation>
    </message>
    <message>
        <source>Songs</source>
        <translation>Songs</translation>
    </message>
    <message>
        <source>Search results for:</source>
        <translation>Search results for:</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Back</translation>
    </message>
    <message>
        <source>Auto Play</source>
        <translation>Auto Play</translation>
    </message>
    <message>
        <source>Add Song</source>
        <translation>Add Song</translation>
    </message>
    <message>
        <source>Info</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>New Playlist</source>
        <translation>New Playlist</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>Title</source>
        <translation>Title</translation>
    </message>
    <message>
        <source>Artist</source>
        <translation>Artist</translation>
    </message>
    <message>
        <source>Genre</source>
        <translation>Genre</translation>
    </message>
    <message>
        <source>Indexing...</source>
        <translation>Indexing...</translation>
    </message>
    <message>
        <source>Search on Melodrome website</source>
        <translation>Search on Melodrome website</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>Remove selected file or folder</source>
        <translation>Remove selected file or folder</translation>
    </message>
    <message>
        <source>Del</source>
        <translation>Del</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>Type</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Path</source>
        <translation>Path</translation>
    </message>
    <message>
        <source>Playlists</source>
        <translation>Playlists</translation>
    </message>
    <message>
        <source>Attention</source>
        <translation>Attention</translation>
    </message>
    <message>
        <source>Do you want to exit &quot;edit playlist&quot; mode?</source>
        <translation>Do you want to exit &quot;Add song&quot; mode?</translation>
    </message>
    <message>
        <source>News of the week</source>
        <translation>News of the week</translation>
    </message>
    <message>
        <source>Press &quot;Add Songs&quot; to select songs from your repertory and make the playlist</source>
        <translation>Press &quot;Add Song&quot; to choose songs from your repertoire and build the playlist</translation>
    </message>
    <message>
        <source>Duration</source>
        <translation>Duration</translation>
    </message>
    <message>
        <source>BPM</source>
        <translation>BPM</translation>
    </message>
    <message>
        <source>Key</source>
        <translation>Key</translation>
    </message>
    <message>
        <source>Genres</source>
        <translation>Genres</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>Files</translation>
    </message>
    <message>
        <source>Cannot play file</source>
        <translation>Cannot play file</translation>
    </message>
    <message>
        <source>Cannot play:
This file seems deleted</source>
        <translation>Cannot play:
This file seems to have been deleted</translation>
    </message>
    <message>
        <source>Added</source>
        <translation>Added</translation>
    </message>
    <message>
        <source>&quot;%1&quot; cannot be deleted: it stays in the library.</source>
        <translation>&quot;%1&quot; cannot be deleted: it stays in the library.</translation>
    </message>
    <message>
        <source>Are you sure you want to remove selected songs from the playlist?</source>
        <translation>Are you sure you want to remove the selected songs from the playlist?</translation>
    </message>
    <message>
        <source>Are you sure you want to delete the selected artists and related songs?</source>
        <translation>Are you sure you want to delete the selected artists and their songs?</translation>
    </message>
    <message>
        <source>Are you sure you want to delete selected genres and related songs?</source>
        <translation>Are you sure you want to delete the selected genres and their songs?</translation>
    </message>
    <message>
        <source>&quot;%1&quot; could not be deleted.</source>
        <translation>&quot;%1&quot; could not be deleted.</translation>
    </message>
    <message>
        <source>Title: %1
Artist: %2
Lenght: %3
BPM: %4
KEY: %5
Format: %6</source>
        <translation>Title: %1
Artist: %2
Length: %3
BPM: %4
KEY: %5
Format: %6</translation>
    </message>
    <message>
        <source>Genre: %1 
Songs count: %2
</source>
        <translation>Genre: %1 
Number of songs: %2
</translation>
    </message>
    <message>
        <source>Artist: %1 
Songs count: %2
</source>
        <translation>Artist: %1 
Number of songs: %2
</translation>
    </message>
    <message>
        <source>Detailed Info</source>
        <translation>Detailed Info</translation>
    </message>
    <message>
        <source>End</source>
        <translation>End</translation>
    </message>
    <message>
        <source>Double click on a row to add the song to the playlist, press &quot;End&quot; when finished</source>
        <translation>Double-click a row to add the song to the playlist, press &quot;End&quot; when finished</translation>
    </message>
    <message>
        <source>Playlist name:</source>
        <translation>Playlist name:</translation>
    </message>
    <message>
        <source>Rename Playlist</source>
        <translation>Rename Playlist</translation>
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
        <translation>Title: %1
Artist: %2
Length: %3
BPM: %4
KEY: %5
Format: %6
Genre: %7
Authors: %8
Bought: %9</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>No</source>
        <translation>No</translation>
    </message>
    <message>
        <source>&quot;%1&quot; could not be downloaded: %2. Check the internet connection and double-click the song to try again.</source>
        <translation>&quot;%1&quot; could not be downloaded: %2. Check the internet connection and double-click the song to try again.</translation>
    </message>
    <message>
        <source>The store&apos;s songs of this list cannot be shown: %1. Check the internet connection, go back and open it again.</source>
        <translation>The store&apos;s songs of this list cannot be shown: %1. Check the internet connection, go back and open it again.</translation>
    </message>
    <message>
        <source>The store cannot be searched now: %1. Your own songs are shown; check the internet connection and search again.</source>
        <translation>The store cannot be searched now: %1. Your own songs are shown; check the internet connection and search again.</translation>
    </message>
    <message>
        <source>The song&apos;s details cannot be shown: %1. Check the internet connection and press Info again.</source>
        <translation>The song&apos;s details cannot be shown: %1. Check the internet connection and press Info again.</translation>
    </message>
    <message>
        <source>Show or hide the side list</source>
        <translation>Show or hide the side list</translation>
    </message>
    <message>
        <source>No drive is indexed yet: choose a drive in the list to search its songs.</source>
        <translation>No drive is indexed yet: choose a drive in the list to search its songs.</translation>
    </message>
    <message>
        <source>No song matches &quot;%1&quot; yet: %2 is still being indexed.</source>
        <translation>No song matches &quot;%1&quot; yet: %2 is still being indexed.</translation>
    </message>
    <message>
        <source>No song on %1 matches &quot;%2&quot;.</source>
        <translation>No song on %1 matches &quot;%2&quot;.</translation>
    </message>
    <message>
        <source>Indexing %1... songs found: %2</source>
        <translation>Indexing %1... songs found: %2</translation>
    </message>
    <message>
        <source>&quot;%1&quot; could not be downloaded: %2.</source>
        <translation>&quot;%1&quot; could not be downloaded: %2.</translation>
    </message>
    <message>
        <source>Delete &quot;%1&quot; from the library? Its file in the library folder is deleted too.</source>
        <translation>Delete &quot;%1&quot; from the library? Its file in the library folder is deleted too.</translation>
    </message>
    <message>
        <source>Delete the %1 selected songs from the library? Their files in the library folder are deleted too.</source>
        <translation>Delete the %1 selected songs from the library? Their files in the library folder are deleted too.</translation>
    </message>
    <message>
        <source>Do you really want to delete the playlist &quot;%1&quot;?</source>
        <translation>Do you really want to delete the playlist &quot;%1&quot;?</translation>
    </message>
    <message>
        <source>The store cannot be searched now: %1. Your own songs are shown.</source>
        <translation>The store cannot be searched now: %1. Your own songs are shown.</translation>
    </message>
    <message>
        <source>The store&apos;s songs of this list cannot be shown: %1.</source>
        <translation>The store&apos;s songs of this list cannot be shown: %1.</translation>
    </message>
    <message>
        <source>The song&apos;s details cannot be shown: %1.</source>
        <translation>The song&apos;s details cannot be shown: %1.</translation>
    </message>
    <message>
        <source>The artist &quot;%1&quot; could not be deleted</source>
        <translation>The artist &quot;%1&quot; could not be deleted</translation>
    </message>
    <message>
        <source>The genre &quot;%1&quot; could not be deleted</source>
        <translation>The genre &quot;%1&quot; could not be deleted</translation>
    </message>
    <message>
        <source>&quot;%1&quot; could not be deleted from the library</source>
        <translation>&quot;%1&quot; could not be deleted from the library</translation>
    </message>
    <message>
        <source>The songs could not be removed from the playlist &quot;%1&quot;</source>
        <translation>The songs could not be removed from the playlist &quot;%1&quot;</translation>
    </message>
    <message>
        <source>&quot;%1&quot; could not be added to the playlist &quot;%2&quot;</source>
        <translation>&quot;%1&quot; could not be added to the playlist &quot;%2&quot;</translation>
    </message>
    <message>
        <source>The playlist &quot;%1&quot; could not be made</source>
        <translation>The playlist &quot;%1&quot; could not be made</translation>
    </message>
    <message>
        <source>The playlist &quot;%1&quot; could not be renamed</source>
        <translation>The playlist &quot;%1&quot; could not be renamed</translation>
    </message>
    <message>
        <source>The playlist &quot;%1&quot; could not be deleted</source>
        <translation>The playlist &quot;%1&quot; could not be deleted</translation>
    </message>
    <message>
        <source>The new order of the playlist &quot;%1&quot; could not be kept</source>
        <translation>The new order of the playlist &quot;%1&quot; could not be kept</translation>
    </message>
    <message>
        <source>the library file is read-only</source>
        <translation>the library file is read-only</translation>
    </message>
    <message>
        <source>the disk is full</source>
        <translation>the disk is full</translation>
    </message>
    <message>
        <source>the disk reported an error</source>
        <translation>the disk reported an error</translation>
    </message>
    <message>
        <source>the library file refused it (%1)</source>
        <translation>the library file refused it (%1)</translation>
    </message>
    <message>
        <source>%1: %2. Nothing kept before is lost; changes are kept again once the library file can be written.</source>
        <translation>%1: %2. Nothing kept before is lost; changes are kept again once the library file can be written.</translation>
    </message>
    <message>
        <source>That &quot;%1&quot; was played could not be kept for the recent songs</source>
        <translation>That &quot;%1&quot; was played could not be kept for the recent songs</translation>
    </message>
    <message>
        <source>No playlist yet: make one with &quot;New Playlist&quot;</source>
        <translation>No playlist yet: make one with &quot;New Playlist&quot;</translation>
    </message>
    <message>
        <source>The library file cannot be read now: %1. The list shows what it showed before.</source>
        <translation>The library file cannot be read now: %1. The list shows what it showed before.</translation>
    </message>
    <message>
        <source>The library file cannot be read now: %1. This list cannot be shown.</source>
        <translation>The library file cannot be read now: %1. This list cannot be shown.</translation>
    </message>
    <message>
        <source>Songs added to the library: %1</source>
        <translation>Songs added to the library: %1</translation>
    </message>
    <message>
        <source>&quot;%1&quot; was copied into the library folder but not registered</source>
        <translation>&quot;%1&quot; was copied into the library folder but not registered</translation>
    </message>
    <message>
        <source>the library is in use by another program</source>
        <translation>the library is in use by another program</translation>
    </message>
    <message>
        <source>The library is in use by another program: the list shows what it showed before, and is read again once the library is free.</source>
        <translation>The library is in use by another program: the list shows what it showed before, and is read again once the library is free.</translation>
    </message>
    <message>
        <source>The library is in use by another program: this list is shown once the library is free.</source>
        <translation>The library is in use by another program: this list is shown once the library is free.</translation>
    </message>
</context>
<context>
    <name>listItem</name>
    <message>
        <source>Title</source>
        <translation>Title</translation>
    </message>
    <message>
        <source>Recent</source>
        <translation>Recent</translation>
    </message>
    <message>
        <source>All Songs</source>
        <translation>All Songs</translation>
    </message>
    <message>
        <source>Downloaded</source>
        <translation>Downloaded</translation>
    </message>
    <message>
        <source>news</source>
        <translation>news</translation>
    </message>
    <message>
        <source>Add the song to the playlist</source>
        <translation>Add the song to the playlist</translation>
    </message>
    <message>
        <source>Rename the playlist</source>
        <translation>Rename the playlist</translation>
    </message>
    <message>
        <source>Delete the playlist</source>
        <translation>Delete the playlist</translation>
    </message>
</context>
<context>
    <name>listItemDownloading</name>
    <message>
        <source>Title</source>
        <translation>Title</translation>
    </message>
    <message>
        <source>Artist</source>
        <translation>Artist</translation>
    </message>
    <message>
        <source>Format</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>Downloaded</source>
        <translation>Downloaded</translation>
    </message>
</context>
<context>
    <name>listItemStore</name>
    <message>
        <source>Title</source>
        <translation>Title</translation>
    </message>
    <message>
        <source>Artist</source>
        <translation>Artist</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Download</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Velmar PC is already running.</source>
        <translation>Velmar PC is already running.</translation>
    </message>
    <message>
        <source>Velmar PC is already running on this library, but it does not answer: it may be stopped or busy.</source>
        <translation>Velmar PC is already running on this library, but it does not answer: it may be stopped or busy.</translation>
    </message>
    <message>
        <source>Velmar PC is already running on this library, but it does not answer: it may be stopped or busy. %1 was not played.</source>
        <translation>Velmar PC is already running on this library, but it does not answer: it may be stopped or busy. %1 was not played.</translation>
    </message>
    <message>
        <source>Attention</source>
        <translation>Attention</translation>
    </message>
</context>
<context>
    <name>mixerView</name>
    <message>
        <source>Form</source>
        <translation>Form</translation>
    </message>
    <message>
        <source>DRUMS</source>
        <translation>DRUMS</translation>
    </message>
    <message>
        <source>BASS</source>
        <translation>BASS</translation>
    </message>
    <message>
        <source>GUITAR</source>
        <translation>GUITAR</translation>
    </message>
    <message>
        <source>KEYBOARDS</source>
        <translation>KEYBOARDS</translation>
    </message>
    <message>
        <source>ORCHESTRA</source>
        <translation>ORCHESTRA</translation>
    </message>
    <message>
        <source>WINDS</source>
        <translation>WINDS</translation>
    </message>
    <message>
        <source>Play %1 alone</source>
        <translation>Play %1 alone</translation>
    </message>
    <message>
        <source>Mute %1</source>
        <translation>Mute %1</translation>
    </message>
    <message>
        <source>%1 channels</source>
        <translation>%1 channels</translation>
    </message>
</context>
<context>
    <name>statusBarHead</name>
    <message>
        <source>Time</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>Format</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>Bar</source>
        <translation>Bar</translation>
    </message>
    <message>
        <source>KEY</source>
        <translation>KEY</translation>
    </message>
    <message>
        <source>No sound server</source>
        <translation>No sound server</translation>
    </message>
    <message>
        <source>The sound server is gone: the song waits, paused, until it is back</source>
        <translation>The sound server is gone: the song waits, paused, until it is back</translation>
    </message>
    <message>
        <source>%1 is not connected: the sound goes to the default output</source>
        <translation>%1 is not connected: the sound goes to the default output</translation>
    </message>
</context>
<context>
    <name>storeView</name>
    <message>
        <source>Store</source>
        <translation>Store</translation>
    </message>
    <message>
        <source>User Account</source>
        <translation>User Account</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Search</translation>
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
        <translation>Thousands of backing tracks in the archive: search for your favorite</translation>
    </message>
    <message>
        <source>News</source>
        <translation>News</translation>
    </message>
    <message>
        <source>Account</source>
        <translation>Account</translation>
    </message>
    <message>
        <source>Downloads</source>
        <translation>Downloads</translation>
    </message>
    <message>
        <source>New MIDI Karaoke backing tracks</source>
        <translation>New MIDI Karaoke backing tracks</translation>
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
        <translation>User</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>Dev ID</translation>
    </message>
    <message>
        <source>Logout</source>
        <translation>Log out</translation>
    </message>
</context>
<context>
    <name>volumePopup</name>
    <message>
        <source>Form</source>
        <translation>Form</translation>
    </message>
</context>
</TS>
