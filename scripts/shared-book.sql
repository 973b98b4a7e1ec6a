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
INSERT INTO mbv_schema VALUES (4);

-- One row per client, in the book's order by position (then row_id).
CREATE TABLE mbv_clients (
    row_id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    name text NOT NULL CHECK (name !~ '[[:cntrl:]]'),
    repeater_id text NOT NULL CHECK (repeater_id !~ '[[:cntrl:]]'),
    position double precision NOT NULL,
    version bigint NOT NULL DEFAULT 1,
    changed_by text NOT NULL DEFAULT current_user,
    changed_at timestamptz NOT NULL DEFAULT now()
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
CREATE FUNCTION mbv_clients_stamp() RETURNS trigger LANGUAGE plpgsql
SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
BEGIN
IF TG_OP = 'INSERT' THEN
NEW.row_id := nextval(pg_get_serial_sequence(format('%I.%I', TG_TABLE_SCHEMA, TG_TABLE_NAME), 'row_id'));
NEW.version := 1;
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

-- Adds and moves take their places one at a time by locking this row, which only editors may
-- lock: a reader cannot hold the team's edits.
CREATE TABLE mbv_place (one boolean PRIMARY KEY DEFAULT true CHECK (one));
INSERT INTO mbv_place VALUES (true);

-- The history of every change, written by the server from the session's own user and clock.
-- Append-only: only the book's owner may change it; editors and readers read it.
CREATE TABLE mbv_history (
    entry_id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    row_id bigint NOT NULL,
    action text NOT NULL CHECK (action IN ('add', 'edit', 'move', 'remove')),
    old_name text, old_repeater_id text, old_position double precision,
    new_name text, new_repeater_id text, new_position double precision,
    changed_by text NOT NULL,
    changed_at timestamptz NOT NULL
);
CREATE INDEX mbv_history_client ON mbv_history (row_id, entry_id);
CREATE FUNCTION mbv_clients_history() RETURNS trigger LANGUAGE plpgsql
SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
DECLARE action text;
BEGIN
IF TG_OP = 'INSERT' THEN action := 'add';
ELSIF TG_OP = 'DELETE' THEN action := 'remove';
ELSIF (OLD.name, OLD.repeater_id) IS DISTINCT FROM (NEW.name, NEW.repeater_id)
THEN action := 'edit';
ELSIF OLD.position IS DISTINCT FROM NEW.position THEN action := 'move';
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

-- Who may do what: the program asks the server, and greys out what a reader may not do.
-- The roles are the server's, not the database's: a second book on the same server shares them.
DO $$ BEGIN CREATE ROLE mbv_editor NOLOGIN; EXCEPTION WHEN duplicate_object THEN NULL; END $$;
DO $$ BEGIN CREATE ROLE mbv_reader NOLOGIN; EXCEPTION WHEN duplicate_object THEN NULL; END $$;
GRANT SELECT ON mbv_schema TO mbv_editor, mbv_reader;
GRANT SELECT ON mbv_clients TO mbv_reader;
GRANT SELECT, INSERT, UPDATE, DELETE ON mbv_clients TO mbv_editor;
GRANT SELECT, UPDATE ON mbv_place TO mbv_editor;
GRANT SELECT ON mbv_history TO mbv_editor, mbv_reader;

COMMIT;
