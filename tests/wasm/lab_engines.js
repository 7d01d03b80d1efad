// The lab's check in any browser engine, run inside the page by a driver
// (tests/wasm/lab_engines.py): the README's example typed line by line at
// the prompt and run to its end, every schedule of it, and a level played
// to its goal. An async function of the session; it resolves to what the
// page shows, for the driver to compare with the native simulator.
async (session) => {
    const $ = (id) => document.getElementById(id);
    const until = async (what, ms = 60000) => {
        for (const end = Date.now() + ms; Date.now() < end;) {
            const value = what();
            if (value)
                return value;
            await new Promise((resolve) => setTimeout(resolve, 50));
        }
        throw new Error(`timed out waiting for ${what}`);
    };
    await until(() => document.body.dataset.ready === '1');
    $('pace').value = '0';
    $('pace').dispatchEvent(new Event('change'));
    for (const line of session.split('\n').filter(Boolean)) {
        $('line').value = line;
        $('line').dispatchEvent(new KeyboardEvent('keydown', {key: 'Enter', bubbles: true}));
        await until(() => document.body.dataset.pending === '0');
    }
    $('goto').value = '600000';
    $('go').click();
    await until(
        () =>
            document.body.dataset.pending === '0' && $('transcript').textContent.includes('exit '));
    const typed = $('typed').textContent, transcript = $('transcript').textContent;
    $('search').click();
    await until(() => document.body.dataset.searched);
    const report = $('report').textContent;
    location.hash = '#level=without-recheck';
    await until(() => document.body.dataset.levelready === 'without-recheck');
    // Played as a learner plays it, by its buttons: to each choice, and the
    // thread the level's shortest schedule lets go there.
    const inner = $('levelexplorer').contentDocument;
    const goal = JSON.parse(inner.getElementById('data').textContent).goal;
    for (const thread of goal.choices) {
        inner.getElementById('tochoice').click();
        inner.querySelector(`#threads button[data-thread="${thread}"]`).click();
    }
    inner.getElementById('tochoice').click();
    const won = await until(() => inner.body.dataset.won);
    return {typed, transcript, report, won, par: goal.par};
}
