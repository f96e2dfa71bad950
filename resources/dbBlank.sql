-- The blank feed database the program copies to dbData.mdb on a first start
-- when no prepared dbPodcast.mdb stands beside the executable.
--
-- One table, six columns, no rows. [name] is the key of every statement and
-- compares without regard to letter case, as the feed list always has.
-- [minute] is an INTEGER column so the list orders numerically (5, 30, 120).
-- [Active] holds the words True and False as 1 and 0.
CREATE TABLE [rss] (
    [name]     TEXT COLLATE NOCASE,
    [minute]   INTEGER,
    [filename] TEXT,
    [folder]   TEXT,
    [URL]      TEXT,
    [Active]   BOOLEAN
);
