-- The shared client book's tables, for an admin who makes them by hand rather than letting the
-- program make them on its first connection (it makes the same). Run once on a new, empty
-- database, as the user who is to own the tables (with the right to create roles):
--   psql -h SERVER -U OWNER -d DATABASE -f scripts/shared-book.sql
-- then give each technician one of the two roles:
--   CREATE ROLE alice LOGIN PASSWORD '...' IN ROLE mbv_editor;   -- may add, remove and move
--   CREATE ROLE bob LOGIN PASSWORD '...' IN ROLE mbv_reader;     -- may only read
BEGIN;

-- The version of these tables: the program brings older ones up to date by itself.
CREATE TABLE mbv_schema (version integer NOT NULL);
INSERT INTO mbv_schema VALUES (8);

-- One row per client, in the book's order by position (then row_id), with its tags (separated
-- by commas) and note.
CREATE TABLE mbv_clients (
    row_id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    name text NOT NULL CHECK (name !~ '[[:cntrl:]]'),
    repeater_id text NOT NULL CHECK (repeater_id !~ '[[:cntrl:]]'),
    position double precision NOT NULL,
    version bigint NOT NULL DEFAULT 1,
    changed_by text NOT NULL DEFAULT current_user,
    changed_at timestamptz NOT NULL DEFAULT now(),
    tags text NOT NULL DEFAULT '' CHECK (tags !~ '[[:cntrl:]]' AND octet_length(tags) <= 4224),
    note text NOT NULL DEFAULT '' CHECK (octet_length(note) <= 1048576)
);
CREATE INDEX mbv_clients_order ON mbv_clients (position, row_id);

-- Every change is announced to the copies of the program that have the book open.
CREATE FUNCTION mbv_clients_changed() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
IF TG_OP = 'DELETE' THEN PERFORM pg_notify('mbv_book', 'D ' || OLD.row_id);
ELSE PERFORM pg_notify('mbv_book', 'U ' || NEW.row_id); END IF;
RETURN NULL;
END $$;
CREATE TRIGGER mbv_clients_changed AFTER INSERT OR UPDATE OR DELETE
    ON mbv_clients FOR EACH ROW EXECUTE FUNCTION mbv_clients_changed();

-- What no editor may forge or break: the server numbers rows and versions and notes who changed
-- a row and when; an ID is 1 to 6 digits, a name at most 4,096 characters, a place a number.
ALTER TABLE mbv_clients ADD CONSTRAINT mbv_clients_position_finite
    CHECK (position > '-Infinity'::double precision AND position < 'Infinity'::double precision);
ALTER TABLE mbv_clients ADD CONSTRAINT mbv_clients_id_digits
    CHECK (repeater_id ~ '^[0-9]{1,6}$') NOT VALID;
ALTER TABLE mbv_clients ADD CONSTRAINT mbv_clients_name_length
    CHECK (char_length(name) <= 4096) NOT VALID;
-- A client put back from the recycle bin (below) keeps its row number and counts its versions on.
CREATE FUNCTION mbv_clients_stamp() RETURNS trigger LANGUAGE plpgsql
SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
DECLARE restored bigint;
BEGIN
IF TG_OP = 'INSERT' THEN
EXECUTE format('SELECT version FROM %I.mbv_bin WHERE row_id = $1 AND restoring', TG_TABLE_SCHEMA) INTO restored USING NEW.row_id;
IF restored IS NULL THEN
NEW.row_id := nextval(pg_get_serial_sequence(format('%I.%I', TG_TABLE_SCHEMA, TG_TABLE_NAME), 'row_id'));
NEW.version := 1;
ELSE
NEW.version := restored + 1;
END IF;
ELSE
NEW.row_id := OLD.row_id;
NEW.version := OLD.version + 1;
END IF;
NEW.changed_by := session_user;
NEW.changed_at := now();
RETURN NEW;
END $$;
CREATE TRIGGER mbv_clients_stamp BEFORE INSERT OR UPDATE
    ON mbv_clients FOR EACH ROW EXECUTE FUNCTION mbv_clients_stamp();

-- The recycle bin: a removed client is kept with the clients it stood between, for as many days
-- as mbv_options says (UPDATE mbv_options SET bin_days = 90; as the owner). Every copy sees the
-- same bin; only an editor may put a client back, through mbv_restore. A client's tags and note
-- go to the bin with it and come back with it.
CREATE TABLE mbv_bin (
    entry_id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    row_id bigint NOT NULL,
    name text NOT NULL, repeater_id text NOT NULL,
    position double precision NOT NULL, version bigint NOT NULL,
    after_row bigint, before_row bigint,
    removed_by text NOT NULL, removed_at timestamptz NOT NULL,
    restoring boolean NOT NULL DEFAULT false,
    tags text NOT NULL DEFAULT '', note text NOT NULL DEFAULT ''
);
CREATE INDEX mbv_bin_removed ON mbv_bin (removed_at);
CREATE INDEX mbv_bin_row ON mbv_bin (row_id);
CREATE TABLE mbv_options (one boolean PRIMARY KEY DEFAULT true CHECK (one), bin_days integer NOT NULL DEFAULT 30 CHECK (bin_days BETWEEN 1 AND 3650));
INSERT INTO mbv_options DEFAULT VALUES;
CREATE FUNCTION mbv_clients_binned() RETURNS trigger LANGUAGE plpgsql
SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
DECLARE days integer;
BEGIN
EXECUTE format('SELECT bin_days FROM %I.mbv_options', TG_TABLE_SCHEMA) INTO days;
EXECUTE format('DELETE FROM %I.mbv_bin WHERE removed_at < now() - make_interval(days => $1)', TG_TABLE_SCHEMA) USING coalesce(days, 30);
EXECUTE format('INSERT INTO %1$I.mbv_bin (row_id, name, repeater_id, position, version, after_row, before_row, removed_by, removed_at, tags, note) VALUES ($1, $2, $3, $4, $5, (SELECT c.row_id FROM %1$I.mbv_clients c WHERE (c.position, c.row_id) < ($4, $1) ORDER BY c.position DESC, c.row_id DESC LIMIT 1), (SELECT c.row_id FROM %1$I.mbv_clients c WHERE (c.position, c.row_id) > ($4, $1) ORDER BY c.position, c.row_id LIMIT 1), session_user, now(), $6, $7)', TG_TABLE_SCHEMA)
USING OLD.row_id, OLD.name, OLD.repeater_id, OLD.position, OLD.version, OLD.tags, OLD.note;
RETURN NULL;
END $$;
CREATE TRIGGER mbv_clients_binned AFTER DELETE ON mbv_clients
    FOR EACH ROW EXECUTE FUNCTION mbv_clients_binned();

-- Adds and moves take their places one at a time by locking this row, which only editors may
-- lock: a reader cannot hold the team's edits.
CREATE TABLE mbv_place (one boolean PRIMARY KEY DEFAULT true CHECK (one));
INSERT INTO mbv_place VALUES (true);

-- The history of every change, written by the server from the session's own user and clock.
-- Append-only: only the book's owner may change it; editors and readers read it.
CREATE TABLE mbv_history (
    entry_id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    row_id bigint NOT NULL,
    action text NOT NULL CONSTRAINT mbv_history_action_check
        CHECK (action IN ('add', 'edit', 'move', 'remove', 'restore', 'note')),
    old_name text, old_repeater_id text, old_position double precision,
    new_name text, new_repeater_id text, new_position double precision,
    changed_by text NOT NULL,
    changed_at timestamptz NOT NULL
);
CREATE INDEX mbv_history_client ON mbv_history (row_id, entry_id);
CREATE FUNCTION mbv_clients_history() RETURNS trigger LANGUAGE plpgsql
SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
DECLARE action text; restoring boolean;
BEGIN
IF TG_OP = 'INSERT' THEN
EXECUTE format('SELECT EXISTS (SELECT 1 FROM %I.mbv_bin WHERE row_id = $1 AND restoring)', TG_TABLE_SCHEMA) INTO restoring USING NEW.row_id;
action := CASE WHEN restoring THEN 'restore' ELSE 'add' END;
ELSIF TG_OP = 'DELETE' THEN action := 'remove';
ELSIF (OLD.name, OLD.repeater_id) IS DISTINCT FROM (NEW.name, NEW.repeater_id)
THEN action := 'edit';
ELSIF OLD.position IS DISTINCT FROM NEW.position THEN action := 'move';
ELSIF (OLD.tags, OLD.note) IS DISTINCT FROM (NEW.tags, NEW.note) THEN action := 'note';
ELSE RETURN NULL;
END IF;
EXECUTE format('INSERT INTO %I.mbv_history (row_id, action, old_name, old_repeater_id, old_position, new_name, new_repeater_id, new_position, changed_by, changed_at) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, session_user, now())', TG_TABLE_SCHEMA)
USING coalesce(NEW.row_id, OLD.row_id), action,
CASE WHEN TG_OP = 'INSERT' THEN NULL ELSE OLD.name END,
CASE WHEN TG_OP = 'INSERT' THEN NULL ELSE OLD.repeater_id END,
CASE WHEN TG_OP = 'INSERT' THEN NULL ELSE OLD.position END,
CASE WHEN TG_OP = 'DELETE' THEN NULL ELSE NEW.name END,
CASE WHEN TG_OP = 'DELETE' THEN NULL ELSE NEW.repeater_id END,
CASE WHEN TG_OP = 'DELETE' THEN NULL ELSE NEW.position END;
RETURN NULL;
END $$;
CREATE TRIGGER mbv_clients_history AFTER INSERT OR UPDATE OR DELETE
    ON mbv_clients FOR EACH ROW EXECUTE FUNCTION mbv_clients_history();
REVOKE ALL ON mbv_history FROM PUBLIC;

-- A client put back from the bin next to the client it stood after (or before), or at the end
-- when both are gone. The function names its tables with the schema it is made in: it trusts no
-- search path, as it runs with the owner's rights.
DO $do$ BEGIN EXECUTE format($f$CREATE FUNCTION %1$I.mbv_restore(entry bigint) RETURNS TABLE (r_row bigint, r_name text, r_id text, r_position double precision, r_version bigint) LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
DECLARE b record; lo double precision; hi double precision; p double precision; tries integer := 0;
BEGIN
IF NOT has_table_privilege(session_user, %2$L, 'INSERT') THEN
RAISE EXCEPTION 'only an editor may restore a client' USING ERRCODE = '42501';
END IF;
PERFORM 1 FROM %1$I.mbv_place FOR UPDATE;
SELECT * INTO b FROM %1$I.mbv_bin WHERE entry_id = entry AND removed_at >= now() - make_interval(days => (SELECT bin_days FROM %1$I.mbv_options)) FOR UPDATE;
IF NOT FOUND THEN RETURN; END IF;
LOOP
lo := NULL; hi := NULL;
SELECT c.position INTO lo FROM %1$I.mbv_clients c WHERE c.row_id = b.after_row;
IF lo IS NOT NULL THEN
SELECT c.position INTO hi FROM %1$I.mbv_clients c WHERE (c.position, c.row_id) > (lo, b.after_row) ORDER BY c.position, c.row_id LIMIT 1;
p := CASE WHEN hi IS NULL THEN lo + 1 ELSE (lo + hi) / 2 END;
ELSE
SELECT c.position INTO hi FROM %1$I.mbv_clients c WHERE c.row_id = b.before_row;
IF hi IS NOT NULL THEN
SELECT c.position INTO lo FROM %1$I.mbv_clients c WHERE (c.position, c.row_id) < (hi, b.before_row) ORDER BY c.position DESC, c.row_id DESC LIMIT 1;
p := CASE WHEN lo IS NULL THEN hi - 1 ELSE (lo + hi) / 2 END;
ELSE
SELECT coalesce(max(c.position), 0) + 1 INTO p FROM %1$I.mbv_clients c;
END IF;
END IF;
EXIT WHEN tries > 0 OR lo IS NULL OR hi IS NULL OR (p <> lo AND p <> hi);
tries := tries + 1;
UPDATE %1$I.mbv_clients m SET position = n.place FROM (SELECT c.row_id, row_number() OVER (ORDER BY c.position, c.row_id) AS place FROM %1$I.mbv_clients c) n WHERE m.row_id = n.row_id;
END LOOP;
UPDATE %1$I.mbv_bin SET restoring = true WHERE entry_id = entry;
INSERT INTO %1$I.mbv_clients AS c (row_id, name, repeater_id, position, tags, note) OVERRIDING SYSTEM VALUE VALUES (b.row_id, b.name, b.repeater_id, p, b.tags, b.note) RETURNING c.row_id, c.name, c.repeater_id, c.position, c.version INTO r_row, r_name, r_id, r_position, r_version;
DELETE FROM %1$I.mbv_bin WHERE entry_id = entry;
RETURN NEXT;
END $$$f$, current_schema(), format('%I.mbv_clients', current_schema())); END $do$;
REVOKE ALL ON mbv_bin, mbv_options FROM PUBLIC;
REVOKE ALL ON FUNCTION mbv_restore(bigint) FROM PUBLIC;

-- The session log, append-only: a trigger writes who connected and when from the session's own
-- user and clock, and lets the technician who connected end a session once and write its note;
-- nobody changes the rest or removes a row. Readers connect too, and log their sessions.
CREATE TABLE mbv_sessions (
    session_id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    name text NOT NULL CHECK (name !~ '[[:cntrl:]]' AND char_length(name) <= 4096),
    repeater_id text NOT NULL CHECK (repeater_id ~ '^[0-9]{1,6}$'),
    technician text NOT NULL,
    started_at timestamptz NOT NULL,
    ended_at timestamptz,
    ended text CHECK (ended IN ('ok', 'error')),
    line text NOT NULL DEFAULT '' CHECK (octet_length(line) <= 4096),
    note text NOT NULL DEFAULT '' CHECK (octet_length(note) <= 4096),
    -- A session made while the server could not be reached, sent later: its number on the
    -- technician's computer, and when the server got it.
    sent_from text CHECK (sent_from ~ '^[0-9a-f]{16}$'),
    logged_at timestamptz
);
CREATE INDEX mbv_sessions_started ON mbv_sessions (started_at);
CREATE UNIQUE INDEX mbv_sessions_sent ON mbv_sessions (technician, sent_from);
CREATE FUNCTION mbv_sessions_stamp() RETURNS trigger LANGUAGE plpgsql
SET search_path = pg_catalog, pg_temp AS $$
BEGIN
IF TG_OP = 'INSERT' THEN
NEW.technician := session_user;
IF NEW.sent_from IS NULL OR NEW.started_at IS NULL THEN
NEW.sent_from := NULL; NEW.logged_at := NULL;
NEW.started_at := now(); NEW.ended_at := NULL;
NEW.ended := NULL; NEW.line := ''; NEW.note := '';
ELSE
NEW.logged_at := now(); NEW.started_at := least(NEW.started_at, now());
IF NEW.ended IS NULL OR NEW.ended_at IS NULL THEN
NEW.ended := NULL; NEW.ended_at := NULL; NEW.line := '';
ELSE NEW.ended_at := least(greatest(NEW.ended_at, NEW.started_at), now());
END IF;
END IF;
RETURN NEW;
END IF;
IF session_user <> OLD.technician THEN
RAISE EXCEPTION 'only the technician who connected may end or note a session' USING ERRCODE = '42501';
END IF;
NEW.session_id := OLD.session_id; NEW.name := OLD.name;
NEW.repeater_id := OLD.repeater_id; NEW.technician := OLD.technician;
NEW.started_at := OLD.started_at; NEW.sent_from := OLD.sent_from;
NEW.logged_at := OLD.logged_at;
IF OLD.ended IS NOT NULL OR NEW.ended IS NULL THEN
NEW.ended := OLD.ended; NEW.ended_at := OLD.ended_at; NEW.line := OLD.line;
ELSIF OLD.sent_from IS NOT NULL AND NEW.ended_at IS NOT NULL THEN
NEW.ended_at := least(greatest(NEW.ended_at, OLD.started_at), now());
ELSE NEW.ended_at := now();
END IF;
RETURN NEW;
END $$;
CREATE TRIGGER mbv_sessions_stamp BEFORE INSERT OR UPDATE ON mbv_sessions
    FOR EACH ROW EXECUTE FUNCTION mbv_sessions_stamp();
REVOKE ALL ON mbv_sessions FROM PUBLIC;

-- Who may do what: the program asks the server, and greys out what a reader may not do.
-- The roles are the server's, not the database's: a second book on the same server shares them.
DO $$ BEGIN CREATE ROLE mbv_editor NOLOGIN; EXCEPTION WHEN duplicate_object THEN NULL; END $$;
DO $$ BEGIN CREATE ROLE mbv_reader NOLOGIN; EXCEPTION WHEN duplicate_object THEN NULL; END $$;
GRANT SELECT ON mbv_schema TO mbv_editor, mbv_reader;
GRANT SELECT ON mbv_clients TO mbv_reader;
GRANT SELECT, INSERT, UPDATE, DELETE ON mbv_clients TO mbv_editor;
GRANT SELECT, UPDATE ON mbv_place TO mbv_editor;
GRANT SELECT ON mbv_history TO mbv_editor, mbv_reader;
GRANT SELECT ON mbv_bin, mbv_options TO mbv_editor, mbv_reader;
GRANT EXECUTE ON FUNCTION mbv_restore(bigint) TO mbv_editor;
GRANT SELECT, INSERT (name, repeater_id, started_at, ended_at, ended, line, note, sent_from),
    UPDATE (ended, ended_at, line, note) ON mbv_sessions TO mbv_editor, mbv_reader;

COMMIT;
