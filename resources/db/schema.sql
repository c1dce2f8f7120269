-- The song library as a new installation gets it: the program copies the
-- database built from this file and never upgrades tables itself. The store's
-- song caches it makes where missing, from its one list of their columns
-- (DatabaseHelperStore.cpp): MDNews, MDSearchTitle, and MDNewsNext, the news
-- being written, swapped with MDNews once a news answer is whole; and
-- MDDownloads, the file each store song downloaded into, by its key.
BEGIN TRANSACTION;

CREATE TABLE Genere (
    IdGenere INTEGER PRIMARY KEY,
    NomeGenere TEXT,
    NumBrani INTEGER DEFAULT 0,
    CONSTRAINT genere_unique UNIQUE (NomeGenere)
);

CREATE TABLE Artisti (
    IdArtista INTEGER PRIMARY KEY,
    NomeArtista TEXT,
    NumBrani INTEGER DEFAULT 0,
    CONSTRAINT artista_unique UNIQUE (NomeArtista)
);

CREATE TABLE Autori (
    IdAutore INTEGER PRIMARY KEY,
    NomeAutore TEXT,
    NumBrani INTEGER DEFAULT 0,
    CONSTRAINT autore_unique UNIQUE (NomeAutore)
);

CREATE TABLE Songs (
    IdSong INTEGER PRIMARY KEY AUTOINCREMENT,
    IdGenere INTEGER DEFAULT 0 REFERENCES Genere (IdGenere) ON DELETE CASCADE ON UPDATE CASCADE,
    IdArtista INTEGER DEFAULT 0 REFERENCES Artisti (IdArtista) ON DELETE CASCADE ON UPDATE CASCADE,
    IdAutore INTEGER DEFAULT 0 REFERENCES Autori (IdAutore) ON DELETE CASCADE ON UPDATE CASCADE,
    NomeFile TEXT,
    Titolo TEXT,
    Formato INTEGER,
    Bpm INTEGER,
    keySign TEXT,
    Durata INTEGER DEFAULT 0,
    MarkerPresent BOOLEAN,
    ConfigPresent BOOLEAN,
    ultimaRiproduzione TEXT DEFAULT '',
    innerPath TEXT,
    isFromSub INTEGER DEFAULT 0
);

CREATE TABLE PlayList (
    IdPlayList INTEGER PRIMARY KEY,
    ListName TEXT,
    NumSongs INTEGER DEFAULT 0
);

-- IdSong has no foreign key on purpose: rows of removed songs stay and find
-- no song in joins.
CREATE TABLE PlayListSongs (
    IdPlayList INTEGER REFERENCES PlayList (IdPlayList) ON DELETE CASCADE ON UPDATE CASCADE,
    SeqNum INTEGER,
    IdSong INTEGER DEFAULT 0,
    FullPath TEXT,
    StartTime INTEGER DEFAULT 0,
    StopTime INTEGER DEFAULT 0
);

-- Columns line up with Artisti and Genere for the UNION queries.
CREATE TABLE MDSearchGenArt (
    Id INTEGER,
    Nome TEXT,
    NumSongs INTEGER
);

CREATE TABLE DbStatus (
    VarName TEXT PRIMARY KEY,
    VarValue TEXT
);

CREATE TABLE Folders (
    IdDir INTEGER PRIMARY KEY,
    IdPrntDir INTEGER DEFAULT 0,
    NomeDir TEXT,
    FullPath TEXT,
    DirType INTEGER DEFAULT 0,
    NumSubDir INTEGER DEFAULT 0,
    NumMidiFile INTEGER DEFAULT 0,
    NumMp3File INTEGER DEFAULT 0,
    CONSTRAINT dir_unique UNIQUE (FullPath)
);

CREATE TABLE Media (
    IdMedia INTEGER PRIMARY KEY,
    IdPrntDir INTEGER,
    NomeFile TEXT,
    MediaType INTEGER,
    Formato TEXT,
    CONSTRAINT media_unique UNIQUE (IdPrntDir, NomeFile)
);

CREATE TABLE Bridges (
    IdBridge INTEGER PRIMARY KEY,
    NomeFile TEXT,
    FullPath TEXT
);

CREATE TABLE Effects (
    IdEffect INTEGER PRIMARY KEY,
    NomeFile TEXT,
    FullPath TEXT
);

CREATE TABLE InstrFamily (
    idFamily INTEGER PRIMARY KEY AUTOINCREMENT,
    familyName TEXT NOT NULL
);

CREATE TABLE Instrument (
    idInstr INTEGER PRIMARY KEY AUTOINCREMENT,
    instrumentName TEXT NOT NULL,
    instrFamily INTEGER NOT NULL
);

CREATE TRIGGER incMp3Count AFTER INSERT ON Songs BEGIN UPDATE Genere SET NumBrani=NumBrani+1 WHERE IdGenere=NEW.IdGenere; UPDATE Artisti SET NumBrani=NumBrani+1 WHERE IdArtista=NEW.IdArtista; UPDATE Autori SET NumBrani=NumBrani+1 WHERE IdAutore=NEW.IdAutore; END;

CREATE TRIGGER deleteAllFromTrack BEFORE delete ON Songs when OLD.IdSong <>0 BEGIN UPDATE Artisti SET NumBrani=NumBrani-1 WHERE IdArtista= OLD.IdArtista; DELETE FROM Artisti WHERE IdArtista = (select IdArtista from Artisti where IdArtista== OLD.IdArtista AND NumBrani = 0); UPDATE Genere SET NumBrani=NumBrani-1 WHERE IdGenere= OLD.IdGenere; DELETE FROM Genere WHERE IdGenere= (select IdGenere from Genere where IdGenere== OLD.IdGenere AND NumBrani = 0); UPDATE Autori SET NumBrani=NumBrani-1 WHERE IdAutore= OLD.IdAutore; DELETE FROM Autori WHERE IdAutore=(select IdAutore from Autori where IdAutore== OLD.IdAutore AND NumBrani = 0); END;

-- AFTER, not BEFORE: a BEFORE trigger that renumbers rows of the same delete
-- (a whole playlist, a cascade) leaves the delete's result undefined.
CREATE TRIGGER shiftSeqNum AFTER DELETE ON PlayListSongs FOR EACH ROW BEGIN UPDATE PlayListSongs SET SeqNum = SeqNum - 1 WHERE IdPlayList = OLD.IdPlayList AND SeqNum > OLD.SeqNum; END;

-- The moved row itself keeps its new position.
CREATE TRIGGER onMoveSong BEFORE UPDATE ON PlayListSongs FOR EACH ROW WHEN NEW.SeqNum <> OLD.SeqNum BEGIN UPDATE PlayListSongs SET SeqNum = SeqNum - 1 WHERE IdPlayList = OLD.IdPlayList AND rowid <> OLD.rowid AND NEW.SeqNum > OLD.SeqNum AND SeqNum BETWEEN OLD.SeqNum AND NEW.SeqNum; UPDATE PlayListSongs SET SeqNum = SeqNum + 1 WHERE IdPlayList = OLD.IdPlayList AND rowid <> OLD.rowid AND NEW.SeqNum < OLD.SeqNum AND SeqNum BETWEEN NEW.SeqNum AND OLD.SeqNum; END;

INSERT INTO PlayList (IdPlayList, ListName, NumSongs) VALUES (1, 'All Songs', 0);
INSERT INTO PlayList (IdPlayList, ListName, NumSongs) VALUES (2, 'Recenti', 0);
INSERT INTO PlayList (IdPlayList, ListName, NumSongs) VALUES (3, 'Downloaded', 0);
INSERT INTO PlayList (IdPlayList, ListName, NumSongs) VALUES (4, 'News', 0);

INSERT INTO InstrFamily (idFamily, familyName) VALUES (1, 'Piano');
INSERT INTO InstrFamily (idFamily, familyName) VALUES (2, 'Chromatic Percussion');
INSERT INTO InstrFamily (idFamily, familyName) VALUES (3, 'Organ');
INSERT INTO InstrFamily (idFamily, familyName) VALUES (4, 'Guitar');
INSERT INTO InstrFamily (idFamily, familyName) VALUES (5, 'Bass');
INSERT INTO InstrFamily (idFamily, familyName) VALUES (6, 'Strings');
INSERT INTO InstrFamily (idFamily, familyName) VALUES (7, 'Ensemble');

INSERT INTO Instrument (idInstr, instrumentName, instrFamily) VALUES (1, 'St. GrandPiano', 1);
INSERT INTO Instrument (idInstr, instrumentName, instrFamily) VALUES (2, 'Celesta', 2);
INSERT INTO Instrument (idInstr, instrumentName, instrFamily) VALUES (3, 'Drawbar Organ', 3);
INSERT INTO Instrument (idInstr, instrumentName, instrFamily) VALUES (4, 'Nylon Live Gtr', 4);
INSERT INTO Instrument (idInstr, instrumentName, instrFamily) VALUES (5, 'Acoustic Bass', 5);
INSERT INTO Instrument (idInstr, instrumentName, instrFamily) VALUES (6, 'Violin Solo', 6);
INSERT INTO Instrument (idInstr, instrumentName, instrFamily) VALUES (7, 'Stereo Strings', 7);

INSERT INTO sqlite_sequence (name, seq) VALUES ('Songs', 0);

COMMIT;
