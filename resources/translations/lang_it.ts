<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="it_IT">
<context>
    <name>AccountView</name>
    <message>
        <source>Account</source>
        <translation>Account</translation>
    </message>
    <message>
        <source>To use Velmar PC you must log in with your Melodrome account</source>
        <translation>Per usare Velmar PC devi accedere con il tuo account Melodrome</translation>
    </message>
    <message>
        <source>E-Mail</source>
        <translation>E-mail</translation>
    </message>
    <message>
        <source>Insert email</source>
        <translation>Inserisci l&apos;e-mail</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>Insert Password</source>
        <translation>Inserisci la password</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>ID dispositivo</translation>
    </message>
    <message>
        <source>SongNet Credit</source>
        <translation>Credito SongNet</translation>
    </message>
    <message>
        <source>Login</source>
        <translation>Accedi</translation>
    </message>
    <message>
        <source>Don&apos;t you have a Melodrome account? Click here to create a new one</source>
        <translation>Non hai un account Melodrome? Clicca qui per crearne uno</translation>
    </message>
    <message>
        <source>Did you forget your password? Click here to recover it</source>
        <translation>Hai dimenticato la password? Clicca qui per recuperarla</translation>
    </message>
    <message>
        <source>User</source>
        <translation>Utente</translation>
    </message>
    <message>
        <source>Logout</source>
        <translation>Esci</translation>
    </message>
    <message>
        <source>Logging in…</source>
        <translation>Accesso in corso…</translation>
    </message>
    <message>
        <source>You are not logged in: %1.
Check the internet connection and press Login again.</source>
        <translation>Accesso non riuscito: %1.
Controlla la connessione a internet e premi di nuovo Accedi.</translation>
    </message>
    <message>
        <source>You are not logged in: %1.</source>
        <translation>Accesso non riuscito: %1.</translation>
    </message>
    <message>
        <source>Wrong e-mail or password</source>
        <translation>E-mail o password errati</translation>
    </message>
</context>
<context>
    <name>ControlTrackSmall</name>
    <message>
        <source>Form</source>
        <translation>Modulo</translation>
    </message>
    <message>
        <source>Ch. %1 -</source>
        <translation>Can. %1 -</translation>
    </message>
    <message>
        <source>Play this channel</source>
        <translation>Suona questo canale</translation>
    </message>
    <message>
        <source>Mute this channel</source>
        <translation>Silenzia questo canale</translation>
    </message>
    <message>
        <source>Play this channel alone</source>
        <translation>Suona solo questo canale</translation>
    </message>
    <message>
        <source>Undo this channel&apos;s changes</source>
        <translation>Annulla le modifiche di questo canale</translation>
    </message>
</context>
<context>
    <name>DialogCopyFiles</name>
    <message>
        <source>Import files</source>
        <translation>Importa file</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Annulla</translation>
    </message>
    <message>
        <source>Copying %1 files</source>
        <translation>Copia di %1 file</translation>
    </message>
    <message>
        <source>Copying %1 of </source>
        <translation>Copia %1 di </translation>
    </message>
</context>
<context>
    <name>DownloadMngr</name>
    <message>
        <source>This file already exists</source>
        <translation>Questo file esiste già</translation>
    </message>
    <message>
        <source>This file is already present, overwrite?</source>
        <translation>Questo file è già presente, vuoi sovrascriverlo?</translation>
    </message>
    <message>
        <source>the server announced no file size</source>
        <translation>il server non ha indicato la dimensione del file</translation>
    </message>
    <message>
        <source>the disk is full or cannot be written</source>
        <translation>il disco è pieno o non scrivibile</translation>
    </message>
    <message>
        <source>%1 of %2 bytes arrived</source>
        <translation>sono arrivati %1 byte su %2</translation>
    </message>
    <message>
        <source>the server named no web address for the file</source>
        <translation>il server non ha indicato un indirizzo web per il file</translation>
    </message>
    <message>
        <source>the disk of %1 is full</source>
        <translation>il disco di %1 è pieno</translation>
    </message>
    <message>
        <source>the folder %1 is read-only</source>
        <translation>la cartella %1 è di sola lettura</translation>
    </message>
    <message>
        <source>the song&apos;s name is too long for the folder %1</source>
        <translation>il nome del brano è troppo lungo per la cartella %1</translation>
    </message>
    <message>
        <source>the file cannot be written in %1 (%2)</source>
        <translation>il file non può essere scritto in %1 (%2)</translation>
    </message>
</context>
<context>
    <name>InstrChooserPopup</name>
    <message>
        <source>Form</source>
        <translation>Modulo</translation>
    </message>
    <message>
        <source>Piano</source>
        <translation>Pianoforte</translation>
    </message>
    <message>
        <source>Chromatic Percussion</source>
        <translation>Percussioni cromatiche</translation>
    </message>
    <message>
        <source>Organ</source>
        <translation>Organo</translation>
    </message>
    <message>
        <source>Guitar</source>
        <translation>Chitarra</translation>
    </message>
    <message>
        <source>Bass</source>
        <translation>Basso</translation>
    </message>
    <message>
        <source>Strings</source>
        <translation>Archi</translation>
    </message>
    <message>
        <source>Ensemble</source>
        <translation>Ensemble</translation>
    </message>
    <message>
        <source>Brass</source>
        <translation>Ottoni</translation>
    </message>
    <message>
        <source>Reed</source>
        <translation>Ance</translation>
    </message>
    <message>
        <source>Pipe</source>
        <translation>Flauti</translation>
    </message>
    <message>
        <source>Synth Lead</source>
        <translation>Synth solista</translation>
    </message>
    <message>
        <source>Synth Pad</source>
        <translation>Synth pad</translation>
    </message>
    <message>
        <source>Synth Effects</source>
        <translation>Effetti synth</translation>
    </message>
    <message>
        <source>Ethnic</source>
        <translation>Etnici</translation>
    </message>
    <message>
        <source>Percussive</source>
        <translation>Percussivi</translation>
    </message>
    <message>
        <source>Sound Effects</source>
        <translation>Effetti sonori</translation>
    </message>
</context>
<context>
    <name>KaraokeTextWidget</name>
    <message>
        <source>New Karaoke window</source>
        <translation>Nuova finestra karaoke</translation>
    </message>
    <message>
        <source>Unpin Karaoke window</source>
        <translation>Sgancia la finestra karaoke</translation>
    </message>
    <message>
        <source>Fullscreen Karaoke window</source>
        <translation>Finestra karaoke a schermo intero</translation>
    </message>
    <message>
        <source>Reduce screen</source>
        <translation>Riduci schermo</translation>
    </message>
    <message>
        <source>Full screen</source>
        <translation>Schermo intero</translation>
    </message>
</context>
<context>
    <name>LyricsModel</name>
    <message>
        <source>Text NOT found</source>
        <translation>Testo NON trovato</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Loading...</source>
        <translation>Caricamento...</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>Volume</translation>
    </message>
    <message>
        <source>Melody CH</source>
        <translation>CH Melodia</translation>
    </message>
    <message>
        <source>Melody Mute</source>
        <translation>Muto melodia</translation>
    </message>
    <message>
        <source>Fullscreen Window</source>
        <translation>Finestra a schermo intero</translation>
    </message>
    <message>
        <source>Unpin Window</source>
        <translation>Sgancia la finestra</translation>
    </message>
    <message>
        <source>Karaoke</source>
        <translation>Karaoke</translation>
    </message>
    <message>
        <source>Library</source>
        <translation>Libreria</translation>
    </message>
    <message>
        <source>Editing</source>
        <translation>Modifica</translation>
    </message>
    <message>
        <source>Mixer</source>
        <translation>Mixer</translation>
    </message>
    <message>
        <source>Chords</source>
        <translation>Accordi</translation>
    </message>
    <message>
        <source>Report an Error</source>
        <translation>Segnala errore</translation>
    </message>
    <message>
        <source>File</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>Importa</translation>
    </message>
    <message>
        <source>Attention</source>
        <translation>Attenzione</translation>
    </message>
    <message>
        <source>Melody ON</source>
        <translation>Melodia ON</translation>
    </message>
    <message>
        <source>Melody OFF</source>
        <translation>Melodia OFF</translation>
    </message>
    <message>
        <source>Melody SEMI</source>
        <translation>Melodia SEMI</translation>
    </message>
    <message>
        <source>Errored</source>
        <translation>Errori di importazione</translation>
    </message>
    <message>
        <source>These files cannot be copied because they do not seem to be song files:</source>
        <translation>Questi file non possono essere copiati perché non sembrano brani:</translation>
    </message>
    <message>
        <source>Duplicated Entries</source>
        <translation>Voci duplicate</translation>
    </message>
    <message>
        <source>These songs cannot be copied because they&apos;re already present:</source>
        <translation>Questi brani non possono essere copiati perché sono già presenti:</translation>
    </message>
    <message>
        <source>All songs files</source>
        <translation>Tutti i file di brani</translation>
    </message>
    <message>
        <source>MIDI files</source>
        <translation>File MIDI</translation>
    </message>
    <message>
        <source>MP3 files</source>
        <translation>File MP3</translation>
    </message>
    <message>
        <source>Fast Run</source>
        <translation>Avvio rapido</translation>
    </message>
    <message>
        <source>Fast run: %1</source>
        <translation>Avvio rapido: %1</translation>
    </message>
    <message>
        <source>Update available</source>
        <translation>Aggiornamento disponibile</translation>
    </message>
    <message>
        <source>An update is available, do you want to download it?</source>
        <translation>È disponibile un aggiornamento, vuoi scaricarlo?</translation>
    </message>
    <message>
        <source>Downloading the update</source>
        <translation>Download dell&apos;aggiornamento in corso</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Annulla</translation>
    </message>
    <message>
        <source>The downloaded update is damaged and was not installed.</source>
        <translation>L&apos;aggiornamento scaricato è danneggiato e non è stato installato.</translation>
    </message>
    <message>
        <source>The update has been downloaded to:
%1
Close the program and install it from there.</source>
        <translation>L&apos;aggiornamento è stato scaricato in:
%1
Chiudi il programma e installalo da lì.</translation>
    </message>
    <message>
        <source>An updated version of Timbra is available. Do you want to download it now?</source>
        <translation>È disponibile una versione aggiornata di Timbra, vuoi scaricarla ora?</translation>
    </message>
    <message>
        <source>The update could not be downloaded: %1.
Check the internet connection; the update is offered again at the next start of the program.</source>
        <translation>Impossibile scaricare l&apos;aggiornamento: %1.
Controlla la connessione a internet; l&apos;aggiornamento verrà proposto di nuovo al prossimo avvio del programma.</translation>
    </message>
    <message>
        <source>Changes not saved</source>
        <translation>Modifiche non salvate</translation>
    </message>
    <message>
        <source>These files are too large to be songs:</source>
        <translation>Questi file sono troppo grandi per essere brani:</translation>
    </message>
    <message>
        <source>These songs could not be copied:</source>
        <translation>Questi brani non sono stati copiati:</translation>
    </message>
    <message>
        <source>The news of the week could not be fetched: %1.
Check the internet connection; the news are fetched again at the next start.</source>
        <translation>Impossibile scaricare le novità della settimana: %1.
Controlla la connessione a internet; le novità verranno scaricate di nuovo al prossimo avvio.</translation>
    </message>
    <message>
        <source>Sound bank</source>
        <translation>Banco di suoni</translation>
    </message>
    <message>
        <source>The sound bank of the software synthesizer is missing or cannot be read:
%1
MIDI songs make no sound without it. Download it now?</source>
        <translation>Il banco di suoni del sintetizzatore software manca o non si può leggere:
%1
Senza di esso i brani MIDI non hanno suono. Scaricarlo ora?</translation>
    </message>
    <message>
        <source>Try Again</source>
        <translation>Riprova</translation>
    </message>
    <message>
        <source>Quit Without Saving</source>
        <translation>Esci senza salvare</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Riproduci</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pausa</translation>
    </message>
    <message>
        <source>Go to a point of the song</source>
        <translation>Vai a un punto del brano</translation>
    </message>
    <message>
        <source>Account</source>
        <translation>Account</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>Opzioni</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>Cartella</translation>
    </message>
    <message>
        <source>No web browser could be opened. The page to report an error is:
%1</source>
        <translation>Non è stato possibile aprire un browser web. La pagina per segnalare un errore è:
%1</translation>
    </message>
    <message>
        <source>The news of the week could not be fetched: %1.
The news are fetched again at the next start.</source>
        <translation>Impossibile scaricare le novità della settimana: %1.
Le novità verranno scaricate di nuovo al prossimo avvio.</translation>
    </message>
    <message>
        <source>The update could not be downloaded: %1.
The update is offered again at the next start of the program.</source>
        <translation>Impossibile scaricare l&apos;aggiornamento: %1.
L&apos;aggiornamento verrà proposto di nuovo al prossimo avvio del programma.</translation>
    </message>
</context>
<context>
    <name>MelodromeManager</name>
    <message>
        <source>Not logged in</source>
        <translation>Utente non connesso</translation>
    </message>
    <message>
        <source>You&apos;re not logged in, please login then retry</source>
        <translation>Non hai effettuato l&apos;accesso: accedi e riprova</translation>
    </message>
    <message>
        <source>Download in progress</source>
        <translation>Download in corso</translation>
    </message>
    <message>
        <source>Another song is being downloaded, please retry when it has finished</source>
        <translation>È in corso il download di un altro brano, riprova quando è terminato</translation>
    </message>
    <message>
        <source>the store gave no address for the song</source>
        <translation>il negozio non ha fornito l&apos;indirizzo del brano</translation>
    </message>
    <message>
        <source>the file that arrived is no song the program can read</source>
        <translation>il file arrivato non è un brano che il programma sappia leggere</translation>
    </message>
    <message>
        <source>the library is in use by another program, so the song was not kept</source>
        <translation>la libreria è usata da un altro programma, quindi il brano non è stato conservato</translation>
    </message>
    <message>
        <source>the library file did not keep the song</source>
        <translation>il file della libreria non ha conservato il brano</translation>
    </message>
</context>
<context>
    <name>MelodyChannelPopup</name>
    <message>
        <source>Form</source>
        <translation>Modulo</translation>
    </message>
    <message>
        <source>Select Melody Channel</source>
        <translation>Scegli il canale della melodia</translation>
    </message>
    <message>
        <source>Track %1</source>
        <translation>Traccia %1</translation>
    </message>
</context>
<context>
    <name>Mp3RW</name>
    <message>
        <source>its ID3 tag (version 2.2, unsynchronised or with a checksum) cannot be rewritten without damaging it</source>
        <translation>il suo tag ID3 (versione 2.2, non sincronizzato o con checksum) non si può riscrivere senza danneggiarlo</translation>
    </message>
</context>
<context>
    <name>NewWidgetWindow</name>
    <message>
        <source>Chords</source>
        <translation>Accordi</translation>
    </message>
    <message>
        <source>Mixer</source>
        <translation>Mixer</translation>
    </message>
    <message>
        <source>Editing</source>
        <translation>Modifica</translation>
    </message>
    <message>
        <source>Library</source>
        <translation>Libreria</translation>
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
        <translation>il server non ha risposto in tempo</translation>
    </message>
    <message>
        <source>the server answered with error %1</source>
        <translation>il server ha risposto con l&apos;errore %1</translation>
    </message>
    <message>
        <source>the server cannot be reached</source>
        <translation>il server non è raggiungibile</translation>
    </message>
    <message>
        <source>the connection broke off</source>
        <translation>la connessione si è interrotta</translation>
    </message>
    <message>
        <source>the server sent an empty answer</source>
        <translation>il server ha inviato una risposta vuota</translation>
    </message>
    <message>
        <source>the answer arrived incomplete</source>
        <translation>la risposta è arrivata incompleta</translation>
    </message>
    <message>
        <source>the server&apos;s answer was too large</source>
        <translation>la risposta del server era troppo grande</translation>
    </message>
    <message>
        <source>the server sent the request on to another site (%1), where the program sends nothing</source>
        <translation>il server ha inoltrato la richiesta a un altro sito (%1), al quale il programma non invia nulla</translation>
    </message>
    <message>
        <source>no secure connection could be made with the server</source>
        <translation>non è stato possibile stabilire una connessione sicura con il server</translation>
    </message>
    <message>
        <source>the network refused the request (error %1)</source>
        <translation>la rete ha rifiutato la richiesta (errore %1)</translation>
    </message>
    <message>
        <source>the server closed the connection without answering as a web server does</source>
        <translation>il server ha chiuso la connessione senza rispondere come fa un server web</translation>
    </message>
    <message>
        <source>the store is busy; try again in a few minutes</source>
        <translation>il negozio è occupato; riprova tra qualche minuto</translation>
    </message>
    <message>
        <source>the store is busy; try again in a moment</source>
        <translation>il negozio è occupato; riprova tra un momento</translation>
    </message>
    <message>
        <source>the store is busy; try again in %1 seconds</source>
        <translation>il negozio è occupato; riprova tra %1 secondi</translation>
    </message>
    <message>
        <source>the store is busy; try again in %1 minutes</source>
        <translation>il negozio è occupato; riprova tra %1 minuti</translation>
    </message>
    <message>
        <source>the store is busy; try again in %1 hours</source>
        <translation>il negozio è occupato; riprova tra %1 ore</translation>
    </message>
</context>
<context>
    <name>SafeSave</name>
    <message>
        <source>the song file is read-only</source>
        <translation>il file del brano è di sola lettura</translation>
    </message>
    <message>
        <source>the song&apos;s folder is read-only</source>
        <translation>la cartella del brano è di sola lettura</translation>
    </message>
    <message>
        <source>%1 is a link</source>
        <translation>%1 è un collegamento</translation>
    </message>
    <message>
        <source>%1 is not a file</source>
        <translation>%1 non è un file</translation>
    </message>
    <message>
        <source>%1 was made by a user who may not write the song</source>
        <translation>%1 è stato creato da un utente che non può scrivere il brano</translation>
    </message>
    <message>
        <source>%1 is larger than a song may be</source>
        <translation>%1 è più grande di quanto possa essere un brano</translation>
    </message>
    <message>
        <source>%1, and is left alone</source>
        <translation>%1, e non viene toccato</translation>
    </message>
    <message>
        <source>A save of %1 was cut off, and another file was put in its place since: it is not written over, and what %1 held before that save is kept in %2.</source>
        <translation>Un salvataggio di %1 è stato interrotto, e da allora al suo posto è stato messo un altro file: non viene sovrascritto, e ciò che %1 conteneva prima di quel salvataggio è conservato in %2.</translation>
    </message>
    <message>
        <source>being saved by another user; try again</source>
        <translation>è in corso di salvataggio da parte di un altro utente; riprova</translation>
    </message>
</context>
<context>
    <name>SeekTrackSlider</name>
    <message>
        <source>Position</source>
        <translation>Posizione</translation>
    </message>
    <message>
        <source>Bar: %1.1</source>
        <translation>Battuta: %1.1</translation>
    </message>
</context>
<context>
    <name>SettingsView</name>
    <message>
        <source>Options</source>
        <translation>Opzioni</translation>
    </message>
    <message>
        <source>&lt;b&gt;Options&lt;/b&gt;</source>
        <translation>&lt;b&gt;Opzioni&lt;/b&gt;</translation>
    </message>
    <message>
        <source>Application</source>
        <translation>Applicazione</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Lingua</translation>
    </message>
    <message>
        <source>Double-click action</source>
        <translation>Azione del doppio clic</translation>
    </message>
    <message>
        <source>Devices</source>
        <translation>Dispositivi</translation>
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
        <translation>Impostazioni MIDI</translation>
    </message>
    <message>
        <source>Chord</source>
        <translation>Accordi</translation>
    </message>
    <message>
        <source>Fast Run</source>
        <translation>Avvio rapido</translation>
    </message>
    <message>
        <source>Karaoke</source>
        <translation>Karaoke</translation>
    </message>
    <message>
        <source>Text Font</source>
        <translation>Carattere testo</translation>
    </message>
    <message>
        <source>Text Size</source>
        <translation>Dimensione testo</translation>
    </message>
    <message>
        <source>Text Alignment</source>
        <translation>Allineamento testo</translation>
    </message>
    <message>
        <source>Background image</source>
        <translation>Immagine di sfondo</translation>
    </message>
    <message>
        <source>&lt;none&gt;</source>
        <translation>&lt;nessuna&gt;</translation>
    </message>
    <message>
        <source>Background color</source>
        <translation>Colore di sfondo</translation>
    </message>
    <message>
        <source>Lyrics</source>
        <translation>Testo</translation>
    </message>
    <message>
        <source>Lyrics Highlight</source>
        <translation>Evidenziazione testo</translation>
    </message>
    <message>
        <source>Playback</source>
        <translation>Riproduzione</translation>
    </message>
    <message>
        <source>Key</source>
        <translation>Tonalità</translation>
    </message>
    <message>
        <source>Tempo</source>
        <translation>Tempo</translation>
    </message>
    <message>
        <source>Lyrics time offset</source>
        <translation>Sfasamento del testo</translation>
    </message>
    <message>
        <source>Restore Original Layout</source>
        <translation>Ripristina disposizione originale</translation>
    </message>
    <message>
        <source>Rebuild Database</source>
        <translation>Ricostruisci database</translation>
    </message>
    <message>
        <source>About Qt</source>
        <translation>Informazioni su Qt</translation>
    </message>
    <message>
        <source>Italian</source>
        <translation>Italiana</translation>
    </message>
    <message>
        <source>International</source>
        <translation>Internazionale</translation>
    </message>
    <message>
        <source>Small</source>
        <translation>Piccolo</translation>
    </message>
    <message>
        <source>Medium</source>
        <translation>Medio</translation>
    </message>
    <message>
        <source>Large</source>
        <translation>Grande</translation>
    </message>
    <message>
        <source>Center</source>
        <translation>Al centro</translation>
    </message>
    <message>
        <source>Left</source>
        <translation>A sinistra</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Riproduci</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pausa</translation>
    </message>
    <message>
        <source>ATTENTION: Perform this operation only in case of malfunctions.</source>
        <translation>ATTENZIONE: esegui questa operazione solo in caso di malfunzionamenti.</translation>
    </message>
    <message>
        <source>Do you want to proceed?</source>
        <translation>Vuoi procedere?</translation>
    </message>
    <message>
        <source>Attention</source>
        <translation>Attenzione</translation>
    </message>
    <message>
        <source>Open Image</source>
        <translation>Apri immagine</translation>
    </message>
    <message>
        <source>Image Files (*.png *.jpg *.bmp)</source>
        <translation>File immagine (*.png *.jpg *.bmp)</translation>
    </message>
    <message>
        <source>Cannot connect to the MIDI Device</source>
        <translation>Impossibile collegarsi al dispositivo MIDI</translation>
    </message>
    <message>
        <source>It may be in use from another software, close the software and connect the device from the Options menu</source>
        <translation>Potrebbe essere in uso da un altro programma: chiudi quel programma e collega il dispositivo dal menu Opzioni</translation>
    </message>
    <message>
        <source>No audio device</source>
        <translation>Nessun dispositivo audio</translation>
    </message>
    <message>
        <source>It seems you&apos;ve no audio device in your PC, please plug a device and retry</source>
        <translation>Sembra che nel tuo PC non ci siano dispositivi audio: collegane uno e riprova</translation>
    </message>
    <message>
        <source>Cannot connect to the audio device</source>
        <translation>Impossibile collegarsi al dispositivo audio</translation>
    </message>
    <message>
        <source>Cannot disconnect the device while playing</source>
        <translation>Impossibile scollegare il dispositivo durante la riproduzione</translation>
    </message>
    <message>
        <source>Please select the device</source>
        <translation>Seleziona il dispositivo</translation>
    </message>
    <message>
        <source>Cannot connect to the audio Device</source>
        <translation>Impossibile collegarsi al dispositivo audio</translation>
    </message>
    <message>
        <source>No real-time priority: the music keeps time with a little more delay</source>
        <translation>Nessuna priorità in tempo reale: la musica resta a tempo con un po&apos; più di ritardo</translation>
    </message>
    <message>
        <source>Real-time priority: granted</source>
        <translation>Priorità in tempo reale: concessa</translation>
    </message>
    <message>
        <source>The audio device %1 is not connected: the sound goes to %2.</source>
        <translation>Il dispositivo audio %1 non è collegato: il suono va a %2.</translation>
    </message>
    <message>
        <source>The sound bank of the software synthesizer is missing or cannot be read: %1</source>
        <translation>Il banco di suoni del sintetizzatore software manca o non si può leggere: %1</translation>
    </message>
    <message>
        <source>The MIDI output %1 could not be opened: MIDI songs play on %2.</source>
        <translation>Non è stato possibile aprire l&apos;uscita MIDI %1: i brani MIDI suonano su %2.</translation>
    </message>
    <message>
        <source>MIDI songs play on %1.</source>
        <translation>I brani MIDI suonano su %1.</translation>
    </message>
    <message>
        <source>The audio device %1 could not be opened: the sound goes to %2.</source>
        <translation>Non è stato possibile aprire il dispositivo audio %1: il suono va a %2.</translation>
    </message>
    <message>
        <source>sequencer</source>
        <translation>sequencer</translation>
    </message>
    <message>
        <source>synthesizer audio</source>
        <translation>audio del sintetizzatore</translation>
    </message>
    <message>
        <source>song player audio</source>
        <translation>audio del lettore brani</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>real-time priority</source>
        <translation>priorità in tempo reale</translation>
    </message>
    <message>
        <source>normal priority</source>
        <translation>priorità normale</translation>
    </message>
    <message>
        <source>Press Stop to change the outputs.</source>
        <translation>Premi Stop per cambiare le uscite.</translation>
    </message>
    <message>
        <source>No sound server: the outputs chosen are used once it is back.</source>
        <translation>Nessun server audio: le uscite scelte si usano appena torna.</translation>
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
        <translation>il programma non modifica questo tipo di file</translation>
    </message>
    <message>
        <source>its backup cannot be read: %1</source>
        <translation>la sua copia di riserva non è leggibile: %1</translation>
    </message>
    <message>
        <source>there is no backup of the song</source>
        <translation>non c&apos;è una copia di riserva del brano</translation>
    </message>
    <message>
        <source>its backup could not be made: %1</source>
        <translation>non è stato possibile crearne la copia di sicurezza: %1</translation>
    </message>
    <message>
        <source>its backup is damaged: its MIDI data cannot be read</source>
        <translation>la sua copia di sicurezza è danneggiata: i suoi dati MIDI non si possono leggere</translation>
    </message>
</context>
<context>
    <name>SongTexts</name>
    <message>
        <source>&lt;UNKNOWN&gt;</source>
        <translation>&lt;SCONOSCIUTO&gt;</translation>
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
        <translation>Trasforma il tuo PC o Mac in un generatore MIDI con suoni professionali</translation>
    </message>
    <message>
        <source>In combination with Velmar PC you can play MIDI files with the highest audio quality</source>
        <translation>Abbinato a Velmar PC ti permette di suonare file MIDI con la massima qualità audio</translation>
    </message>
    <message>
        <source>Over 180 sounds and 18 drum kits are at your disposal</source>
        <translation>A tua disposizione oltre 180 suoni e 18 drum kit</translation>
    </message>
    <message>
        <source>Download in progress...</source>
        <translation>Download in corso...</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Annulla</translation>
    </message>
    <message>
        <source>Attention</source>
        <translation>Attenzione</translation>
    </message>
</context>
<context>
    <name>SoundfontManager</name>
    <message>
        <source>Attention</source>
        <translation>Attenzione</translation>
    </message>
    <message>
        <source>Timbra cannot be downloaded now, please try again later</source>
        <translation>Non è possibile scaricare Timbra adesso, riprova più tardi</translation>
    </message>
    <message>
        <source>Timbra needs to be downloaded. Do you want to proceed now?</source>
        <translation>È necessario scaricare Timbra, vuoi procedere ora?</translation>
    </message>
    <message>
        <source>Downloading Timbra...</source>
        <translation>Download di Timbra in corso...</translation>
    </message>
    <message>
        <source>Are you sure you want to stop the Timbra download?</source>
        <translation>Sei sicuro di voler interrompere il download di Timbra?</translation>
    </message>
    <message>
        <source>Sound bank</source>
        <translation>Banco di suoni</translation>
    </message>
    <message>
        <source>The new sound bank could not be installed: %1.
The previous sound bank stays in use. Check the internet connection and try again later.</source>
        <translation>Impossibile installare il nuovo banco di suoni: %1.
Resta in uso il banco di suoni precedente. Controlla la connessione a internet e riprova più tardi.</translation>
    </message>
    <message>
        <source>The sound bank could not be installed: %1.
The synthesizer stays silent without it. Check the internet connection and start the program again to retry.</source>
        <translation>Impossibile installare il banco di suoni: %1.
Senza di esso il sintetizzatore resta muto. Controlla la connessione a internet e riavvia il programma per riprovare.</translation>
    </message>
    <message>
        <source>the downloaded file cannot be read</source>
        <translation>il file scaricato non è leggibile</translation>
    </message>
    <message>
        <source>%1 of %2 bytes arrived</source>
        <translation>sono arrivati %1 byte su %2</translation>
    </message>
    <message>
        <source>the file is no sound bank</source>
        <translation>il file non è un banco di suoni</translation>
    </message>
    <message>
        <source>the file cannot be written in %1</source>
        <translation>il file non può essere scritto in %1</translation>
    </message>
    <message>
        <source>the file that arrived is not the one the server announced</source>
        <translation>il file arrivato non è quello annunciato dal server</translation>
    </message>
    <message>
        <source>The new sound bank could not be installed: %1.
The previous sound bank stays in use.</source>
        <translation>Impossibile installare il nuovo banco di suoni: %1.
Resta in uso il banco di suoni precedente.</translation>
    </message>
    <message>
        <source>The sound bank could not be installed: %1.
The synthesizer stays silent without it; start the program again to retry.</source>
        <translation>Impossibile installare il banco di suoni: %1.
Senza di esso il sintetizzatore resta muto; riavvia il programma per riprovare.</translation>
    </message>
</context>
<context>
    <name>StartedSong</name>
    <message>
        <source>Cannot play this file</source>
        <translation>Impossibile riprodurre questo file</translation>
    </message>
    <message>
        <source>no such file</source>
        <translation>il file non esiste</translation>
    </message>
    <message>
        <source>not a file: a folder, a device or a pipe</source>
        <translation>non è un file: è una cartella, un dispositivo o una pipe</translation>
    </message>
    <message>
        <source>cannot be read: %1</source>
        <translation>impossibile leggerlo: %1</translation>
    </message>
    <message>
        <source>the file is empty</source>
        <translation>il file è vuoto</translation>
    </message>
    <message>
        <source>too large for a song: %1, at most %2</source>
        <translation>troppo grande per un brano: %1, al massimo %2</translation>
    </message>
    <message>
        <source>not a song file the program plays</source>
        <translation>non è un file di brano che il programma riproduce</translation>
    </message>
    <message>
        <source>its MIDI data cannot be read</source>
        <translation>i suoi dati MIDI non sono leggibili</translation>
    </message>
    <message>
        <source>too large to play: its notes and other events take more than %1 once read</source>
        <translation>troppo grande per essere suonato: le sue note e gli altri eventi, una volta letti, occupano più di %1</translation>
    </message>
    <message>
        <source>too long to play: more than %1 bars</source>
        <translation>troppo lungo per essere suonato: più di %1 battute</translation>
    </message>
    <message>
        <source>too many lyric rows to show: more than %1</source>
        <translation>troppe righe di testo da mostrare: più di %1</translation>
    </message>
    <message>
        <source>too many lyric syllables to show: more than %1</source>
        <translation>troppe sillabe di testo da mostrare: più di %1</translation>
    </message>
    <message>
        <source>too many chords to show: more than %1</source>
        <translation>troppi accordi da mostrare: più di %1</translation>
    </message>
    <message>
        <source>its timing (a division of 0, or frames of film or video) is not one the program plays</source>
        <translation>la sua temporizzazione (una divisione pari a 0, o fotogrammi di film o video) non è una che il programma suona</translation>
    </message>
    <message>
        <source>no audio the program can decode</source>
        <translation>nessun audio che il programma sappia decodificare</translation>
    </message>
    <message>
        <source>the player could not load it</source>
        <translation>il lettore non è riuscito a caricarlo</translation>
    </message>
    <message>
        <source>The changes to %1 were not kept: %2.</source>
        <translation>Le modifiche a %1 non sono state mantenute: %2.</translation>
    </message>
    <message>
        <source>The changes to %1 are heard but will not be kept: %2.</source>
        <translation>Le modifiche a %1 si sentono ma non saranno mantenute: %2.</translation>
    </message>
    <message>
        <source>The changes to %1 could not be written yet: %2. They are kept and will be written again at the next stop or when the program quits.</source>
        <translation>Le modifiche a %1 non sono ancora state scritte: %2. Restano in sospeso e saranno scritte al prossimo arresto o all&apos;uscita dal programma.</translation>
    </message>
    <message>
        <source>The changes to %1 could not be written: %2.</source>
        <translation>Le modifiche a %1 non sono state scritte: %2.</translation>
    </message>
    <message>
        <source>another song was put in its place before they were written</source>
        <translation>al suo posto è stato messo un altro brano prima che venissero scritte</translation>
    </message>
    <message>
        <source>being saved by another user; try again</source>
        <translation>è in corso di salvataggio da parte di un altro utente; riprova</translation>
    </message>
</context>
<context>
    <name>StoreAnswer</name>
    <message>
        <source>a web page came instead of the store&apos;s answer (the network may want you to sign in through a web browser first, or the store is under maintenance)</source>
        <translation>è arrivata una pagina web invece della risposta del negozio (la rete potrebbe chiederti di accedere prima tramite un browser, oppure il negozio è in manutenzione)</translation>
    </message>
    <message>
        <source>the store&apos;s answer cannot be read</source>
        <translation>la risposta del negozio non è leggibile</translation>
    </message>
</context>
<context>
    <name>TitleBarWindow</name>
    <message>
        <source>Form</source>
        <translation>Modulo</translation>
    </message>
    <message>
        <source>Pin the window</source>
        <translation>Aggancia la finestra</translation>
    </message>
    <message>
        <source>Reduce to icon</source>
        <translation>Riduci a icona</translation>
    </message>
    <message>
        <source>Fullscreen window</source>
        <translation>Finestra a schermo intero</translation>
    </message>
    <message>
        <source>Close the window</source>
        <translation>Chiudi la finestra</translation>
    </message>
    <message>
        <source>Reduce Window</source>
        <translation>Riduci la finestra</translation>
    </message>
</context>
<context>
    <name>chordsView</name>
    <message>
        <source>Form</source>
        <translation>Modulo</translation>
    </message>
    <message>
        <source>Piano</source>
        <translation>Piano</translation>
    </message>
    <message>
        <source>Guitar</source>
        <translation>Chitarra</translation>
    </message>
    <message>
        <source>Text</source>
        <translation>Testo</translation>
    </message>
    <message>
        <source>There are no chords in this backing track</source>
        <translation>In questa base musicale non sono presenti accordi</translation>
    </message>
</context>
<context>
    <name>editView</name>
    <message>
        <source>Form</source>
        <translation>Modulo</translation>
    </message>
    <message>
        <source>Undo every change made to this song since it started</source>
        <translation>Annulla ogni modifica fatta a questo brano da quando è partito</translation>
    </message>
    <message>
        <source>Restore the song&apos;s original settings</source>
        <translation>Ripristina le impostazioni originali del brano</translation>
    </message>
    <message>
        <source>Key down a semitone</source>
        <translation>Abbassa di un semitono</translation>
    </message>
    <message>
        <source>Key up a semitone</source>
        <translation>Alza di un semitono</translation>
    </message>
    <message>
        <source>Slower</source>
        <translation>Più lento</translation>
    </message>
    <message>
        <source>Faster</source>
        <translation>Più veloce</translation>
    </message>
    <message>
        <source>Restore the original settings</source>
        <translation>Ripristina le impostazioni originali</translation>
    </message>
    <message>
        <source>%1 has no copy of its original settings: the program has not saved changes into it.</source>
        <translation>%1 non ha una copia delle sue impostazioni originali: il programma non vi ha salvato modifiche.</translation>
    </message>
    <message>
        <source>The original settings of %1 cannot be put back: %2.</source>
        <translation>Le impostazioni originali di %1 non possono essere ripristinate: %2.</translation>
    </message>
    <message>
        <source>Put %1 back as it was before the program first saved changes into it? The key, tempo and mix saved since then are undone.</source>
        <translation>Riportare %1 com&apos;era prima che il programma vi salvasse modifiche per la prima volta? Tonalità, tempo e mixaggio salvati da allora vengono annullati.</translation>
    </message>
    <message>
        <source>%1 was changed by another program since the program first saved changes into it. Only its original key, tempo and mix are put back; the music stays as it is now. Put them back?</source>
        <translation>%1 è stato modificato da un altro programma dopo che questo programma vi ha salvato modifiche per la prima volta. Vengono ripristinati solo tonalità, tempo e mixaggio originali; la musica resta com&apos;è ora. Ripristinarli?</translation>
    </message>
    <message>
        <source>%1 has no copy of its original settings: %2.</source>
        <translation>%1 non ha una copia delle sue impostazioni originali: %2.</translation>
    </message>
</context>
<context>
    <name>libraryView</name>
    <message>
        <source>Repertoire</source>
        <translation>Repertorio</translation>
    </message>
    <message>
        <source>Browse PC</source>
        <translation>Sfoglia PC</translation>
    </message>
    <message>
        <source>Songs</source>
        <translation>Brani</translation>
    </message>
    <message>
        <source>Search results for:</source>
        <translation>Risultati della ricerca per:</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Indietro</translation>
    </message>
    <message>
        <source>Auto Play</source>
        <translation>Autoplay</translation>
    </message>
    <message>
        <source>Add Song</source>
        <translation>Aggiungi brano</translation>
    </message>
    <message>
        <source>Info</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Elimina</translation>
    </message>
    <message>
        <source>New Playlist</source>
        <translation>Nuova playlist</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>Importa</translation>
    </message>
    <message>
        <source>Title</source>
        <translation>Titolo</translation>
    </message>
    <message>
        <source>Artist</source>
        <translation>Artista</translation>
    </message>
    <message>
        <source>Genre</source>
        <translation>Genere</translation>
    </message>
    <message>
        <source>Indexing...</source>
        <translation>Indicizzazione...</translation>
    </message>
    <message>
        <source>Search on Melodrome website</source>
        <translation>Cerca sul sito Melodrome</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Cerca</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Rimuovi</translation>
    </message>
    <message>
        <source>Remove selected file or folder</source>
        <translation>Rimuovi il file o la cartella selezionati</translation>
    </message>
    <message>
        <source>Del</source>
        <translation>Del</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>Tipo</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Nome</translation>
    </message>
    <message>
        <source>Path</source>
        <translation>Percorso</translation>
    </message>
    <message>
        <source>Playlists</source>
        <translation>Playlist</translation>
    </message>
    <message>
        <source>Attention</source>
        <translation>Attenzione</translation>
    </message>
    <message>
        <source>Do you want to exit &quot;edit playlist&quot; mode?</source>
        <translation>Vuoi uscire dalla modalità &quot;modifica playlist&quot;?</translation>
    </message>
    <message>
        <source>News of the week</source>
        <translation>Novità della settimana</translation>
    </message>
    <message>
        <source>Press &quot;Add Songs&quot; to select songs from your repertory and make the playlist</source>
        <translation>Premi &quot;Aggiungi brano&quot; per scegliere i brani dal tuo repertorio e creare la playlist</translation>
    </message>
    <message>
        <source>Duration</source>
        <translation>Durata</translation>
    </message>
    <message>
        <source>BPM</source>
        <translation>BPM</translation>
    </message>
    <message>
        <source>Key</source>
        <translation>Tono</translation>
    </message>
    <message>
        <source>Genres</source>
        <translation>Generi</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Cannot play file</source>
        <translation>Impossibile riprodurre il file</translation>
    </message>
    <message>
        <source>Cannot play:
This file seems deleted</source>
        <translation>Impossibile riprodurre:
il file sembra essere stato eliminato</translation>
    </message>
    <message>
        <source>Added</source>
        <translation>Aggiunto</translation>
    </message>
    <message>
        <source>&quot;%1&quot; cannot be deleted: it stays in the library.</source>
        <translation>&quot;%1&quot; non può essere eliminato: resta nella libreria.</translation>
    </message>
    <message>
        <source>Are you sure you want to remove selected songs from the playlist?</source>
        <translation>Sei sicuro di voler togliere i brani selezionati dalla playlist?</translation>
    </message>
    <message>
        <source>Are you sure you want to delete the selected artists and related songs?</source>
        <translation>Sei sicuro di voler eliminare gli artisti selezionati e i relativi brani?</translation>
    </message>
    <message>
        <source>Are you sure you want to delete selected genres and related songs?</source>
        <translation>Sei sicuro di voler eliminare i generi selezionati e i relativi brani?</translation>
    </message>
    <message>
        <source>&quot;%1&quot; could not be deleted.</source>
        <translation>Impossibile eliminare &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>Title: %1
Artist: %2
Lenght: %3
BPM: %4
KEY: %5
Format: %6</source>
        <translation>Titolo: %1
Artista: %2
Durata: %3
BPM: %4
Tonalità: %5
Formato: %6</translation>
    </message>
    <message>
        <source>Genre: %1 
Songs count: %2
</source>
        <translation>Genere: %1 
Numero di brani: %2
</translation>
    </message>
    <message>
        <source>Artist: %1 
Songs count: %2
</source>
        <translation>Artista: %1 
Numero di brani: %2
</translation>
    </message>
    <message>
        <source>Detailed Info</source>
        <translation>Informazioni dettagliate</translation>
    </message>
    <message>
        <source>End</source>
        <translation>Fine</translation>
    </message>
    <message>
        <source>Double click on a row to add the song to the playlist, press &quot;End&quot; when finished</source>
        <translation>Fai doppio clic su una riga per aggiungere il brano alla playlist, premi &quot;Fine&quot; quando hai finito</translation>
    </message>
    <message>
        <source>Playlist name:</source>
        <translation>Nome della playlist:</translation>
    </message>
    <message>
        <source>Rename Playlist</source>
        <translation>Rinomina playlist</translation>
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
        <translation>Titolo: %1
Artista: %2
Durata: %3
BPM: %4
Tonalità: %5
Formato: %6
Genere: %7
Autori: %8
Acquistato: %9</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Sì</translation>
    </message>
    <message>
        <source>No</source>
        <translation>No</translation>
    </message>
    <message>
        <source>&quot;%1&quot; could not be downloaded: %2. Check the internet connection and double-click the song to try again.</source>
        <translation>Impossibile scaricare &quot;%1&quot;: %2. Controlla la connessione a internet e fai doppio clic sul brano per riprovare.</translation>
    </message>
    <message>
        <source>The store&apos;s songs of this list cannot be shown: %1. Check the internet connection, go back and open it again.</source>
        <translation>Impossibile mostrare i brani del negozio di questo elenco: %1. Controlla la connessione a internet, torna indietro e riaprilo.</translation>
    </message>
    <message>
        <source>The store cannot be searched now: %1. Your own songs are shown; check the internet connection and search again.</source>
        <translation>Ora non è possibile cercare nel negozio: %1. Sono mostrati i tuoi brani; controlla la connessione a internet e cerca di nuovo.</translation>
    </message>
    <message>
        <source>The song&apos;s details cannot be shown: %1. Check the internet connection and press Info again.</source>
        <translation>Impossibile mostrare i dettagli del brano: %1. Controlla la connessione a internet e premi di nuovo Info.</translation>
    </message>
    <message>
        <source>Show or hide the side list</source>
        <translation>Mostra o nascondi l&apos;elenco laterale</translation>
    </message>
    <message>
        <source>No drive is indexed yet: choose a drive in the list to search its songs.</source>
        <translation>Nessuna unità è ancora indicizzata: scegli un&apos;unità nell&apos;elenco per cercarne i brani.</translation>
    </message>
    <message>
        <source>No song matches &quot;%1&quot; yet: %2 is still being indexed.</source>
        <translation>Nessun brano corrisponde ancora a &quot;%1&quot;: l&apos;indicizzazione di %2 è in corso.</translation>
    </message>
    <message>
        <source>No song on %1 matches &quot;%2&quot;.</source>
        <translation>Nessun brano su %1 corrisponde a &quot;%2&quot;.</translation>
    </message>
    <message>
        <source>Indexing %1... songs found: %2</source>
        <translation>Indicizzazione di %1... brani trovati: %2</translation>
    </message>
    <message>
        <source>&quot;%1&quot; could not be downloaded: %2.</source>
        <translation>Impossibile scaricare &quot;%1&quot;: %2.</translation>
    </message>
    <message>
        <source>Delete &quot;%1&quot; from the library? Its file in the library folder is deleted too.</source>
        <translation>Eliminare &quot;%1&quot; dalla libreria? Anche il suo file nella cartella della libreria viene eliminato.</translation>
    </message>
    <message>
        <source>Delete the %1 selected songs from the library? Their files in the library folder are deleted too.</source>
        <translation>Eliminare i %1 brani selezionati dalla libreria? Anche i loro file nella cartella della libreria vengono eliminati.</translation>
    </message>
    <message>
        <source>Do you really want to delete the playlist &quot;%1&quot;?</source>
        <translation>Vuoi davvero eliminare la playlist &quot;%1&quot;?</translation>
    </message>
    <message>
        <source>The store cannot be searched now: %1. Your own songs are shown.</source>
        <translation>Ora non è possibile cercare nel negozio: %1. Sono mostrati i tuoi brani.</translation>
    </message>
    <message>
        <source>The store&apos;s songs of this list cannot be shown: %1.</source>
        <translation>Impossibile mostrare i brani del negozio di questo elenco: %1.</translation>
    </message>
    <message>
        <source>The song&apos;s details cannot be shown: %1.</source>
        <translation>Impossibile mostrare i dettagli del brano: %1.</translation>
    </message>
    <message>
        <source>The artist &quot;%1&quot; could not be deleted</source>
        <translation>Impossibile eliminare l&apos;artista &quot;%1&quot;</translation>
    </message>
    <message>
        <source>The genre &quot;%1&quot; could not be deleted</source>
        <translation>Impossibile eliminare il genere &quot;%1&quot;</translation>
    </message>
    <message>
        <source>&quot;%1&quot; could not be deleted from the library</source>
        <translation>Impossibile eliminare &quot;%1&quot; dalla libreria</translation>
    </message>
    <message>
        <source>The songs could not be removed from the playlist &quot;%1&quot;</source>
        <translation>Impossibile togliere i brani dalla playlist &quot;%1&quot;</translation>
    </message>
    <message>
        <source>&quot;%1&quot; could not be added to the playlist &quot;%2&quot;</source>
        <translation>Impossibile aggiungere &quot;%1&quot; alla playlist &quot;%2&quot;</translation>
    </message>
    <message>
        <source>The playlist &quot;%1&quot; could not be made</source>
        <translation>Impossibile creare la playlist &quot;%1&quot;</translation>
    </message>
    <message>
        <source>The playlist &quot;%1&quot; could not be renamed</source>
        <translation>Impossibile rinominare la playlist &quot;%1&quot;</translation>
    </message>
    <message>
        <source>The playlist &quot;%1&quot; could not be deleted</source>
        <translation>Impossibile eliminare la playlist &quot;%1&quot;</translation>
    </message>
    <message>
        <source>The new order of the playlist &quot;%1&quot; could not be kept</source>
        <translation>Impossibile mantenere il nuovo ordine della playlist &quot;%1&quot;</translation>
    </message>
    <message>
        <source>the library file is read-only</source>
        <translation>il file della libreria è di sola lettura</translation>
    </message>
    <message>
        <source>the disk is full</source>
        <translation>il disco è pieno</translation>
    </message>
    <message>
        <source>the disk reported an error</source>
        <translation>il disco ha segnalato un errore</translation>
    </message>
    <message>
        <source>the library file refused it (%1)</source>
        <translation>il file della libreria l&apos;ha rifiutata (%1)</translation>
    </message>
    <message>
        <source>%1: %2. Nothing kept before is lost; changes are kept again once the library file can be written.</source>
        <translation>%1: %2. Nulla di quanto salvato prima è andato perso; le modifiche verranno salvate di nuovo quando il file della libreria sarà scrivibile.</translation>
    </message>
    <message>
        <source>That &quot;%1&quot; was played could not be kept for the recent songs</source>
        <translation>Impossibile annotare tra i brani recenti che &quot;%1&quot; è stato suonato</translation>
    </message>
    <message>
        <source>No playlist yet: make one with &quot;New Playlist&quot;</source>
        <translation>Ancora nessuna playlist: creane una con &quot;Nuova playlist&quot;</translation>
    </message>
    <message>
        <source>The library file cannot be read now: %1. The list shows what it showed before.</source>
        <translation>Il file della libreria non può essere letto ora: %1. L&apos;elenco mostra ciò che mostrava prima.</translation>
    </message>
    <message>
        <source>The library file cannot be read now: %1. This list cannot be shown.</source>
        <translation>Il file della libreria non può essere letto ora: %1. Questo elenco non può essere mostrato.</translation>
    </message>
    <message>
        <source>Songs added to the library: %1</source>
        <translation>Brani aggiunti alla libreria: %1</translation>
    </message>
    <message>
        <source>&quot;%1&quot; was copied into the library folder but not registered</source>
        <translation>&quot;%1&quot; è stato copiato nella cartella della libreria ma non è stato registrato</translation>
    </message>
    <message>
        <source>the library is in use by another program</source>
        <translation>la libreria è usata da un altro programma</translation>
    </message>
    <message>
        <source>The library is in use by another program: the list shows what it showed before, and is read again once the library is free.</source>
        <translation>La libreria è usata da un altro programma: l&apos;elenco mostra ciò che mostrava prima e viene riletto appena la libreria è libera.</translation>
    </message>
    <message>
        <source>The library is in use by another program: this list is shown once the library is free.</source>
        <translation>La libreria è usata da un altro programma: questo elenco viene mostrato appena la libreria è libera.</translation>
    </message>
</context>
<context>
    <name>listItem</name>
    <message>
        <source>Title</source>
        <translation>Titolo</translation>
    </message>
    <message>
        <source>Recent</source>
        <translation>Recenti</translation>
    </message>
    <message>
        <source>All Songs</source>
        <translation>Tutti i brani</translation>
    </message>
    <message>
        <source>Downloaded</source>
        <translation>Scaricati</translation>
    </message>
    <message>
        <source>news</source>
        <translation>novità</translation>
    </message>
    <message>
        <source>Add the song to the playlist</source>
        <translation>Aggiungi il brano alla playlist</translation>
    </message>
    <message>
        <source>Rename the playlist</source>
        <translation>Rinomina la playlist</translation>
    </message>
    <message>
        <source>Delete the playlist</source>
        <translation>Elimina la playlist</translation>
    </message>
</context>
<context>
    <name>listItemDownloading</name>
    <message>
        <source>Title</source>
        <translation>Titolo</translation>
    </message>
    <message>
        <source>Artist</source>
        <translation>Artista</translation>
    </message>
    <message>
        <source>Format</source>
        <translation>Formato</translation>
    </message>
    <message>
        <source>Downloaded</source>
        <translation>Scaricati</translation>
    </message>
</context>
<context>
    <name>listItemStore</name>
    <message>
        <source>Title</source>
        <translation>Titolo</translation>
    </message>
    <message>
        <source>Artist</source>
        <translation>Artista</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Scarica</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Velmar PC is already running.</source>
        <translation>Velmar PC è già in esecuzione.</translation>
    </message>
    <message>
        <source>Velmar PC is already running on this library, but it does not answer: it may be stopped or busy.</source>
        <translation>Velmar PC è già in esecuzione su questa libreria, ma non risponde: potrebbe essere fermo o occupato.</translation>
    </message>
    <message>
        <source>Velmar PC is already running on this library, but it does not answer: it may be stopped or busy. %1 was not played.</source>
        <translation>Velmar PC è già in esecuzione su questa libreria, ma non risponde: potrebbe essere fermo o occupato. %1 non è stato riprodotto.</translation>
    </message>
    <message>
        <source>Attention</source>
        <translation>Attenzione</translation>
    </message>
</context>
<context>
    <name>mixerView</name>
    <message>
        <source>Form</source>
        <translation>Modulo</translation>
    </message>
    <message>
        <source>DRUMS</source>
        <translation>BATTERIA</translation>
    </message>
    <message>
        <source>BASS</source>
        <translation>BASSO</translation>
    </message>
    <message>
        <source>GUITAR</source>
        <translation>CHITARRA</translation>
    </message>
    <message>
        <source>KEYBOARDS</source>
        <translation>TASTIERE</translation>
    </message>
    <message>
        <source>ORCHESTRA</source>
        <translation>ORCHESTRA</translation>
    </message>
    <message>
        <source>WINDS</source>
        <translation>FIATI</translation>
    </message>
    <message>
        <source>Play %1 alone</source>
        <translation>Suona solo %1</translation>
    </message>
    <message>
        <source>Mute %1</source>
        <translation>Silenzia %1</translation>
    </message>
    <message>
        <source>%1 channels</source>
        <translation>Canali %1</translation>
    </message>
</context>
<context>
    <name>statusBarHead</name>
    <message>
        <source>Time</source>
        <translation>Tempo</translation>
    </message>
    <message>
        <source>Format</source>
        <translation>Formato</translation>
    </message>
    <message>
        <source>Bar</source>
        <translation>Battuta</translation>
    </message>
    <message>
        <source>KEY</source>
        <translation>TONO</translation>
    </message>
    <message>
        <source>No sound server</source>
        <translation>Nessun server audio</translation>
    </message>
    <message>
        <source>The sound server is gone: the song waits, paused, until it is back</source>
        <translation>Il server audio non c&apos;è più: la canzone aspetta, in pausa, finché non torna</translation>
    </message>
    <message>
        <source>%1 is not connected: the sound goes to the default output</source>
        <translation>%1 non è collegato: l&apos;audio va all&apos;uscita predefinita</translation>
    </message>
</context>
<context>
    <name>storeView</name>
    <message>
        <source>Store</source>
        <translation>Negozio</translation>
    </message>
    <message>
        <source>User Account</source>
        <translation>Account utente</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Cerca</translation>
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
        <translation>Migliaia di basi musicali in archivio: cerca la tua preferita</translation>
    </message>
    <message>
        <source>News</source>
        <translation>Novità</translation>
    </message>
    <message>
        <source>Account</source>
        <translation>Account</translation>
    </message>
    <message>
        <source>Downloads</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>New MIDI Karaoke backing tracks</source>
        <translation>Nuove basi MIDI Karaoke</translation>
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
        <translation>E-mail</translation>
    </message>
    <message>
        <source>User</source>
        <translation>Utente</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>ID dispositivo</translation>
    </message>
    <message>
        <source>Logout</source>
        <translation>Esci</translation>
    </message>
</context>
<context>
    <name>volumePopup</name>
    <message>
        <source>Form</source>
        <translation>Modulo</translation>
    </message>
</context>
</TS>
