<p>{TITLE} {LINK}</p>
