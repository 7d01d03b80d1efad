// The lab's worker, run after the WebAssembly module's script (LabEngine) in
// one Blob: it answers the page's requests with the simulator's answers.
// { kind: 'run', session, bound, drawn } -> the run up to `bound` ms;
// { kind: 'search', session, maxStates } -> every schedule, with
// { kind: 'progress', steps } now and then; { kind: 'explore', session }
// -> the session's explorer page; { kind: 'code' } -> the guard's code.
// Each answer carries the request's id.
// Nothing is left in the worker's scope but the module's LabEngine.
(() => {
    'use strict';
    const engine = LabEngine({print: () => {}, printErr: () => {}});

    // Calls an entry point with the session as a C string and its numbers, and
    // reads the answer it leaves (a call's own return is lost to the fibers).
    function ask(m, entry, session, ...numbers) {
        const size = m.lengthBytesUTF8(session) + 1;
        const text = m._malloc(size);
        m.stringToUTF8(session, text, size);
        try {
            m[entry](text, ...numbers);
        } finally {
            m._free(text);
        }
        return m.UTF8ToString(m._lab_answer(), m._lab_answer_size());
    }

    self.onmessage = async (event) => {
        const m = await engine;
        const r = event.data;
        let answer;
        try {
            if (r.kind === 'run')
                answer = JSON.parse(ask(m, '_lab_run', r.session, r.bound, r.drawn ? 1 : 0));
            else if (r.kind === 'search')
                answer = JSON.parse(ask(m, '_lab_every_schedule', r.session, r.maxStates));
            else if (r.kind === 'code')
                answer = JSON.parse(ask(m, '_lab_guard_code', ''));
            else
                answer = {html: ask(m, '_lab_explore_page', r.session)};
        } catch (error) {
            answer = {error: String(error)};
        }
        postMessage({kind: r.kind, id: r.id, answer});
    };
    engine.then(() => postMessage({kind: 'ready'}));
})();
